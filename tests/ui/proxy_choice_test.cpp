// The proxy choice in the dialog against the stand-in proxies and the vendor
// stand-in's judge: what the list shows of each tested entry (and that the
// mark never becomes the stored proxy), the same figure in the result box,
// the list and the tip, a proxy that takes connections and never answers,
// and the questions before switching to a proxy that leaks, tampers or gave
// no answer: asked once per choice, No by default.
#include "dialog_fixture.h"

#include "proxylist/net_job.h"
#include "res/resource.h"
#include "support/peers_dir.h"
#include "support/standin_proxies.h"

#include <cstdlib>
#include <regex>

using namespace uitest;

namespace {

class ProxyChoiceTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        const std::string strDir = PeersDir();
        ASSERT_FALSE(strDir.empty()) << "CW_PEERS_DIR is not set: run through ctest";
        m_standIns = ReadStandIns(strDir);
        m_saved = GetNetJobLimits();
        // A silent proxy holds a test to its deadline: keep that short.
        CNetJobLimits limits = m_saved;
        limits.dwProxyTestMs = 4000;
        SetNetJobLimits(limits);
        StoredSettings s;
        Store(s);
        const std::string strVendor = "127.0.0.1:" + std::to_string(std::atoi(ReadRaw(strDir + "vendor.port").c_str()));
        rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UpdateServer", strVendor);
        g_regUpdateServer.Read();
        std::string strList;
        for (const char* pszKind : {"plain", "xff", "silent"}) strList += Entry(pszKind) + "\r\n";
        WriteRaw(ListFile(), strList);
    }
    void TearDown() override
    {
        SetNetJobLimits(m_saved);
        DialogTest::TearDown();
    }
    std::string Entry(const std::string& strKind) const
    {
        for (const CStandIn& one : m_standIns)
            if (one.strKind == strKind) return one.strEntry + " US";
        ADD_FAILURE() << "no stand-in of kind " << strKind;
        return std::string();
    }
    // The list's line that shows an entry.
    std::string LineOf(const std::string& strEntry) const
    {
        for (const std::string& item : ComboItems())
            if (item.compare(0, strEntry.size(), strEntry) == 0) return item;
        return std::string();
    }
    // "Save Settings" with the box ticked and the text in the proxy box.
    void Save(const std::string& strText, int nAnswer)
    {
        m_pRecorder.reset();
        m_pRecorder = std::make_unique<CMessageBoxRecorder>(nAnswer);
        m_pDlg->OnConfiguration();
        ::SendMessageA(::GetDlgItem(m_pDlg->m_hWnd, IDC_USEPROXY), BM_SETCHECK, 1, 0);
        m_pDlg->m_comboProxy.SetWindowText(strText.c_str());
        Click(IDOK);
    }
    std::string Tip() const { return m_pDlg->GetTrayRecord().szTip; }

    std::vector<CStandIn> m_standIns;
    CNetJobLimits m_saved;
};

} // namespace

TEST_F(ProxyChoiceTest, TheListShowsEachTestedEntrysGradeAndTheBoxsFigureAndSaveStoresTheEntryAlone)
{
    Open();
    const std::string strPlain = Entry("plain");
    EXPECT_EQ(strPlain, LineOf(strPlain)) << "untested: no mark";

    ChooseEntry(strPlain);
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(2u, boxes.size());
    std::smatch m;
    ASSERT_TRUE(std::regex_search(boxes[1], m, std::regex("Response Time ([0-9]+) milliseconds"))) << boxes[1];
    const std::string strMs = m[1];
    EXPECT_NE(std::string::npos, boxes[1].find("Grade: elite - web sites see neither your address nor a proxy\r\n"))
        << boxes[1];
    EXPECT_EQ(std::string::npos, boxes[1].find(PROXY_SILENT_TEXT));
    const std::string strLine = strPlain + " (elite, " + strMs + " ms)";
    EXPECT_EQ(strLine, LineOf(strPlain)) << "the box's figure";
    EXPECT_EQ(strLine, ComboEditText());

    // Saved from the list's line: the entry is stored, never the mark, and
    // the tip gives the same figure.
    ForgetBoxes();
    Save(strLine, IDOK);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
    EXPECT_EQ(strPlain, StoredText("ProxyName"));
    EXPECT_EQ("Cloakwall: on via " + strPlain.substr(0, strPlain.find(' ')) + " (elite, " + strMs + " ms)", Tip());
}

TEST_F(ProxyChoiceTest, ASilentProxyIsSaidNotToAnswerAndEveryRiskyChoiceIsAskedOnceWithNoAsDefault)
{
    CSettingsDlg& dlg = Open();
    const std::string strPlain = Entry("plain"), strXff = Entry("xff"), strSilent = Entry("silent");
    Save(strPlain, IDOK);
    ASSERT_EQ(strPlain, StoredText("ProxyName"));

    // It connects, so the availability, response time and speed lines stay;
    // the added one says why pages will not load, and the list shows it dead.
    ForgetBoxes();
    ChooseEntry(strSilent);
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(0u, boxes[1].find("|Proxy Server " + strSilent + " is Available\r\nResponse Time ")) << boxes[1];
    EXPECT_NE(std::string::npos, boxes[1].find("\r\n" PROXY_SILENT_TEXT "\r\n")) << boxes[1];
    EXPECT_EQ(strSilent + " (dead)", LineOf(strSilent));

    // Save asks first; No is the default, and No keeps the proxy in force.
    Save(LineOf(strSilent), IDNO);
    ASSERT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_DEAD_QUESTION_TEXT}, Boxes());
    UINT nType = m_pRecorder->Boxes()[0].nType;
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), nType & MB_TYPEMASK);
    EXPECT_EQ(static_cast<UINT>(MB_DEFBUTTON2), nType & MB_DEFMASK);
    EXPECT_EQ(strPlain, StoredText("ProxyName"));
    EXPECT_EQ(strPlain, ComboEditText());
    EXPECT_EQ(1u, BrowserProxyEnable());

    // A transparent proxy: the grade in words in the box, the question when
    // it becomes the choice, and not again at a later save of the same.
    ChooseEntry(strXff);
    Save(strXff, IDYES);
    EXPECT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_LEAKS_QUESTION_TEXT}, Boxes());
    EXPECT_EQ(static_cast<UINT>(MB_DEFBUTTON2), m_pRecorder->Boxes()[0].nType & MB_DEFMASK);
    EXPECT_EQ(strXff, StoredText("ProxyName"));
    Save(strXff, IDYES);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];

    // The tray command switching on a stored proxy that gave no answer asks
    // too; No leaves anonymous browsing off.
    Command(ID_TOGGLE_ANONYMOUS);
    ASSERT_EQ(0u, BrowserProxyEnable());
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "ProxyName", strSilent);
    g_regProxyName.Read();
    m_pRecorder.reset();
    m_pRecorder = std::make_unique<CMessageBoxRecorder>(IDNO);
    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_DEAD_QUESTION_TEXT}, Boxes());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(0, dlg.m_bEnabled);
}
