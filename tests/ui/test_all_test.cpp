// The settings dialog with real proxies to grade: the stand-in proxies of
// every kind and the vendor stand-in's judge, started on loopback by the
// proxy-list tests' fixture (tests/proxylist/peers.sh). The grade in the
// result box and in the stored results, the question before a proxy that
// leaks the address, the tray tip, and "Test All Proxies" over 200 entries
// with the dialog answering throughout, its ranking kept across a restart,
// and its cancel.
#include "dialog_fixture.h"

#include "framework/core/socket_api.h"
#include "proxylist/proxy_results.h"
#include "res/resource.h"
#include "support/peers_dir.h"
#include "support/raw_file.h"
#include "support/standin_proxies.h"

#include <cstdlib>
#include <map>
#include <sstream>

using namespace uitest;

namespace {

class TestAllTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        const std::string strDir = PeersDir();
        ASSERT_FALSE(strDir.empty()) << "CW_PEERS_DIR is not set: run through ctest";
        m_strVendor = "127.0.0.1:" + std::to_string(std::atoi(ReadRaw(strDir + "vendor.port").c_str()));
        m_standIns = ReadStandIns(strDir);
        ASSERT_GE(m_standIns.size(), 6u);
        m_saved = GetNetJobLimits();
    }
    void TearDown() override
    {
        SetNetJobLimits(m_saved);
        DialogTest::TearDown();
    }

    // The settings, with the vendor stand-in (and its judge) as the server.
    void StoreWithVendor(StoredSettings s)
    {
        Store(s);
        rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UpdateServer", m_strVendor);
        g_regUpdateServer.Read();
    }
    std::string EntryOf(const std::string& strKind) const
    {
        for (const CStandIn& one : m_standIns)
            if (one.strKind == strKind) return one.strEntry;
        return std::string();
    }
    std::string Tip() const { return m_pDlg->GetTrayRecord().szTip; }

    // The list of 200: every stand-in after the first six, and refusing
    // addresses (nothing listens on port 9 of 127.0.1.x) to fill up.
    std::string BatchList(std::map<std::string, std::string>& rKindOf) const
    {
        std::string strList;
        int nEntries = 0;
        for (size_t i = 6; i < m_standIns.size(); ++i, ++nEntries) {
            strList += m_standIns[i].strEntry + " " + m_standIns[i].strKind + "\r\n";
            rKindOf[m_standIns[i].strEntry] = m_standIns[i].strKind;
        }
        for (int i = 1; nEntries < 200; ++i, ++nEntries) {
            std::string strEntry = "127.0.1." + std::to_string(i) + ":9";
            strList += strEntry + "\r\n";
            rKindOf[strEntry] = "refusing";
        }
        return strList;
    }

    std::string m_strVendor;
    std::vector<CStandIn> m_standIns;
    CNetJobLimits m_saved;
};

} // namespace

TEST_F(TestAllTest, TheResultBoxCarriesTheGradeItIsStoredAndALeakingProxyIsUsedOnlyWhenTheUserSaysSo)
{
    StoredSettings s;
    s.strProxyName = EntryOf("plain") + " US";
    StoreWithVendor(s);
    std::string strList;
    for (size_t i = 0; i < 6; ++i) strList += m_standIns[i].strEntry + " US\r\n";
    WriteRaw(ListFile(), strList);
    CSettingsDlg& dlg = Open();
    EXPECT_EQ("Cloakwall: anonymous browsing off", Tip());

    // Each kind's grade is the grader's to test; here the grade line reaches
    // the box after the availability, response time and speed lines, and the
    // result reaches the file.
    ForgetBoxes();
    const std::string strXff = EntryOf("xff") + " US";
    ChooseEntry(strXff);
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(0u, boxes[1].find("|Proxy Server " + strXff + " is Available\r\nResponse Time ")) << boxes[1];
    EXPECT_NE(std::string::npos,
              boxes[1].find("KB/sec \r\nGrade: transparent - it passes an address on (X-Forwarded-For)\r\n"))
        << boxes[1];
    CProxyResults file;
    ASSERT_TRUE(ResultsFileEventually(file, [&](const CProxyResults& f) {
        CStoredProxyResult r;
        return f.Lookup(EntryOf("xff").c_str(), r);
    }));
    CStoredProxyResult xff;
    ASSERT_TRUE(file.Lookup(EntryOf("xff").c_str(), xff));
    EXPECT_EQ(PROXY_GRADE_TRANSPARENT, xff.eGrade);
    EXPECT_EQ("X-Forwarded-For", xff.strGiveaways.str());
    ChooseEntry(EntryOf("plain") + " US");
    ChooseEntry(EntryOf("inject") + " US");

    // An elite proxy is switched on without a question; the tip says so.
    auto save = [&](const std::string& strEntry) {
        dlg.OnConfiguration();
        ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_SETCHECK, 1, 0);
        dlg.m_comboProxy.SetWindowText(strEntry.c_str());
        Click(IDOK);
    };
    ForgetBoxes();
    save(EntryOf("plain") + " US");
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(EntryOf("plain") + " US", StoredText("ProxyName"));
    EXPECT_EQ(0u, Tip().find("Cloakwall: on via " + EntryOf("plain") + " (elite, ")) << Tip();

    // A transparent one asks first; No keeps the previous choice.
    m_pRecorder.reset();
    m_pRecorder = std::make_unique<CMessageBoxRecorder>(IDNO);
    save(EntryOf("xff") + " US");
    EXPECT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_LEAKS_QUESTION_TEXT}, Boxes());
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), m_pRecorder->Boxes()[0].nType & MB_TYPEMASK);
    EXPECT_EQ(EntryOf("plain") + " US", StoredText("ProxyName"));
    EXPECT_EQ(EntryOf("plain") + " US", ComboEditText());
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ(0u, Tip().find("Cloakwall: on via " + EntryOf("plain") + " (elite, ")) << Tip();

    // A tampering one too; Yes uses it.
    m_pRecorder.reset();
    m_pRecorder = std::make_unique<CMessageBoxRecorder>(IDYES);
    save(EntryOf("inject") + " US");
    EXPECT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_TAMPERS_QUESTION_TEXT}, Boxes());
    EXPECT_EQ(EntryOf("inject") + " US", StoredText("ProxyName"));
    EXPECT_EQ(0u, Tip().find("Cloakwall: on via " + EntryOf("inject") + " (tampering, ")) << Tip();
}

TEST_F(TestAllTest, TestAllOf200EndsByItsDeadlineRanksTheListKeepsItAcrossARestartAndCanBeCancelled)
{
    CNetJobLimits limits = m_saved;
    limits.dwTestAllMs = 25000;
    limits.dwTestAllEntryMs = 3000;
    SetNetJobLimits(limits);
    std::map<std::string, std::string> kindOf;
    std::string strList = BatchList(kindOf);
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = m_standIns[6].strEntry; // a plain one: elite
    ASSERT_EQ("plain", m_standIns[6].strKind);
    StoreWithVendor(s);
    WriteRaw(ListFile(), strList);
    CSettingsDlg& dlg = Open();
    ASSERT_EQ(200u, ComboItems().size());
    EXPECT_EQ(0u, Tip().find("Cloakwall: on via " + m_standIns[6].strEntry + " (untested)")) << Tip();
    HWND hButton = ::GetDlgItem(dlg.m_hWnd, IDC_TESTALLPROXIES);
    auto text = [](HWND hWnd) {
        char buf[256] = "";
        ::GetWindowTextA(hWnd, buf, sizeof buf);
        return std::string(buf);
    };

    std::vector<std::string> progress;
    long nTookMs = 0;
    {
        CAnswerWatch watch(dlg.m_hWnd);
        auto t0 = std::chrono::steady_clock::now();
        ::SendMessageA(hButton, BM_CLICK, 0, 0);
        ASSERT_TRUE(dlg.IsTestAllRunning());
        EXPECT_EQ("Cancel Test", text(hButton));
        EXPECT_TRUE(::IsWindowEnabled(hButton));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_UPDATEPROXYLIST)));
        // The dialog is free while the batch runs: another thread's message
        // is answered, and the batch is still running afterwards.
        const int nAnsweredBefore = watch.Answered();
        bool bAnsweredWhileRunning = false;
        PumpUntil(
            [&] {
                std::string strNow = text(::GetDlgItem(dlg.m_hWnd, IDC_TESTSTATUS));
                if (progress.empty() || progress.back() != strNow) progress.push_back(strNow);
                if (!dlg.IsTestAllRunning()) return true;
                if (watch.Answered() > nAnsweredBefore) bAnsweredWhileRunning = true;
                return false;
            },
            40000);
        nTookMs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
        watch.Stop();
        std::printf("Test All Proxies, 200 entries: %ld ms (deadline %lu ms), longest wait for an answer %ld ms\n",
                    nTookMs, static_cast<unsigned long>(limits.dwTestAllMs), watch.LongestMs());
        EXPECT_TRUE(bAnsweredWhileRunning);
    }
    ASSERT_FALSE(dlg.IsTestAllRunning());
    EXPECT_LT(nTookMs, static_cast<long>(limits.dwTestAllMs) + 3000);
    EXPECT_EQ("Test All Proxies", text(hButton));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_UPDATEPROXYLIST)));
    // The count went up while it ran; the end says what came out.
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ("Tested 0 of 200", progress[0]);
    EXPECT_EQ(0u, progress.back().find("Tested 200 of 200: ")) << progress.back();
    EXPECT_EQ(0u, Tip().find("Cloakwall: on via " + m_standIns[6].strEntry + " (elite, ")) << Tip();

    // Best first, each grade after the better ones, the dead last and marked.
    std::vector<std::string> items = ComboItems();
    ASSERT_EQ(200u, items.size());
    EProxyGrade eLast = PROXY_GRADE_ELITE;
    for (const std::string& item : items) {
        std::string strKind = kindOf[ProxyResultKey(EntryFromRankedText(item.c_str())).str()];
        EProxyGrade eGrade = ExpectedGrade(strKind);
        EXPECT_LE(eGrade, eLast) << item << " comes after a worse grade";
        eLast = eGrade;
        EXPECT_EQ(eGrade == PROXY_GRADE_DEAD, item.size() > 7 && item.compare(item.size() - 7, 7, " (dead)") == 0)
            << item;
    }
    EXPECT_EQ(PROXY_GRADE_DEAD, eLast);
    CProxyResults file;
    ASSERT_TRUE(ResultsFileEventually(file, [](const CProxyResults& f) { return f.GetCount() == 200; }));
    EXPECT_EQ(200, file.GetCount());

    // A restart ranks the list the same way from the stored results.
    Close();
    Open();
    EXPECT_EQ(items, ComboItems());

    // Started from the tray and cancelled with the button: it ends soon,
    // and what was graded before the cancel is kept.
    m_pDlg->SendMessage(WM_COMMAND, ID_TEST_ALL_PROXIES, 0);
    ASSERT_TRUE(m_pDlg->IsTestAllRunning());
    PumpFor(300);
    auto t0 = std::chrono::steady_clock::now();
    ::SendMessageA(::GetDlgItem(m_pDlg->m_hWnd, IDC_TESTALLPROXIES), BM_CLICK, 0, 0);
    PumpUntil([&] { return !m_pDlg->IsTestAllRunning(); }, 10000);
    long nCancelMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    EXPECT_FALSE(m_pDlg->IsTestAllRunning());
    EXPECT_LT(nCancelMs, 4000);
    EXPECT_EQ("Test All Proxies", text(::GetDlgItem(m_pDlg->m_hWnd, IDC_TESTALLPROXIES)));
    ASSERT_TRUE(ResultsFileEventually(file, [](const CProxyResults& f) { return f.GetCount() == 200; }));
    EXPECT_EQ(200, file.GetCount());

    // A list update that keeps none of these entries keeps none of their
    // results (the vendor stand-in serves a list of three others).
    ForgetBoxes();
    Click(IDC_UPDATEPROXYLIST);
    EXPECT_EQ(std::vector<std::string>{"|Proxy List Updated"}, Boxes());
    EXPECT_EQ(3u, ComboItems().size());
    ASSERT_TRUE(ResultsFileEventually(file, [](const CProxyResults& f) { return f.GetCount() == 0; }));
    EXPECT_EQ(0, file.GetCount());
}

TEST_F(TestAllTest, ExitDuringTestAllEndsTheDialogSetsTheBrowserDirectAndTheBatchLetGoOfClosesItsSockets)
{
    // Proxies that never answer, each with a limit as long as the run's: the
    // run would go on for a minute.
    CNetJobLimits limits = m_saved;
    limits.dwTestAllMs = 60000;
    limits.dwTestAllEntryMs = 60000;
    SetNetJobLimits(limits);
    std::string strList;
    int nEntries = 0;
    for (const CStandIn& one : m_standIns)
        if (one.strKind == "silent" || one.strKind == "unaccepted") {
            strList += one.strEntry + "\r\n";
            ++nEntries;
        }
    ASSERT_GE(nEntries, 40);
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = EntryOf("plain");
    StoreWithVendor(s);
    WriteRaw(ListFile(), strList);
    CSettingsDlg& dlg = Open();
    ASSERT_EQ(1u, BrowserProxyEnable());
    const std::string strResultsBefore = ReadRaw(ResultsFile());
    const long nSocketsBefore = SockOpenCount();

    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_TESTALLPROXIES), BM_CLICK, 0, 0);
    ASSERT_TRUE(dlg.IsTestAllRunning());
    // Every entry in flight, each holding a socket.
    ASSERT_TRUE(PumpUntil([&] { return SockOpenCount() >= nSocketsBefore + nEntries; }, 10000));

    ForgetBoxes();
    dlg.SendMessage(WM_COMMAND, ID_EXIT_CLOAKWALL, 0);
    EXPECT_EQ(0, dlg.GetModalResult());
    EXPECT_FALSE(dlg.IsTestAllRunning());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_TRUE(Boxes().empty());
    // The batch ends on its own thread and closes what it held; nothing it
    // found is stored, since the user left before it ended.
    EXPECT_TRUE(PumpUntil([&] { return SockOpenCount() <= nSocketsBefore; }, 10000))
        << SockOpenCount() - nSocketsBefore << " sockets still open";
    EXPECT_EQ(strResultsBefore, ReadRaw(ResultsFile()));
}

// From a fresh list to browsing: "Test All Proxies" with nothing chosen
// puts the best in the box (the program's own listener never graded), and
// "Save Settings" switches on through it without testing it again.
TEST_F(TestAllTest, TestAllChoosesTheBestEntrySkipsTheOwnListenerAndSaveNeedsNoSecondTest)
{
    StoreWithVendor(StoredSettings{});
    const std::string strBest = EntryOf("plain");
    WriteRaw(ListFile(), EntryOf("xff") + "\r\n" + EntryOf("via") + "\r\n" + strBest +
                             "\r\n127.0.0.1:8080\r\nlocalhost:8080 mine\r\n");
    CSettingsDlg& dlg = Open();
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_TESTALLPROXIES), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsTestAllRunning(); }, 40000));

    EXPECT_EQ(0u, ComboEditText().find(strBest + " (elite, ")) << ComboEditText();
    char status[512] = "";
    ::GetDlgItemTextA(dlg.m_hWnd, IDC_TESTSTATUS, status, sizeof status);
    EXPECT_NE(std::string::npos, std::string(status).find("The best, " + strBest + ", is chosen")) << status;
    EXPECT_EQ("", StoredText("ProxyName")) << "shown, not stored";
    CProxyResults file;
    CStoredProxyResult result;
    ASSERT_TRUE(ResultsFileEventually(file, [&](const CProxyResults& f) { return f.Lookup(strBest.c_str(), result); }));
    for (const char* pszOwn : {"127.0.0.1:8080", "localhost:8080"}) EXPECT_FALSE(file.Lookup(pszOwn, result)) << pszOwn;

    ForgetBoxes();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_CLICK, 0, 0);
    Click(IDOK);
    EXPECT_TRUE(Boxes().empty()) << Boxes().front();
    EXPECT_EQ(strBest, StoredText("ProxyName"));
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_FALSE(dlg.IsWindowVisible());
}
