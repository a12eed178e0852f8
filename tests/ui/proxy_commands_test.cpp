// "Update Proxy List Now", choosing an entry, and "Add New Proxy" with its
// dialog, each with the messages it shows.
#include "dialog_fixture.h"

#include "res/resource.h"

#include <regex>

using namespace uitest;

namespace {

const char kListPath[] = "/licensing/ProxyGenerator/proxylist.txt";
const char kSamplePath[] = "/bandwidthchecker/dlsample1.gif";

// What the add-proxy dialog gets typed into it, and which button is pressed
// (IDOK or IDCANCEL); filled in from inside its modal loop.
struct AddProxyInput {
    std::string text;
    int nButton = IDOK;
    bool bSeen = false;
};
AddProxyInput g_input;

void CALLBACK TypeIntoAddProxy(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    HWND hDlg = FindShownWindow("Add Proxy");
    if (!hDlg) return;
    KillTimer(nullptr, idEvent);
    g_input.bSeen = true;
    SetDlgItemTextA(hDlg, IDC_NEWPROXY, g_input.text.c_str());
    SendMessageA(GetDlgItem(hDlg, g_input.nButton), BM_CLICK, 0, 0);
}

class ProxyCommandsTest : public DialogTest {
protected:
    void AddNewProxy(const std::string& text, int nButton = IDOK)
    {
        g_input = AddProxyInput{text, nButton, false};
        UINT_PTR id = SetTimer(nullptr, 0, 20, TypeIntoAddProxy);
        Click(IDC_ADDNEWPROXY);
        KillTimer(nullptr, id);
        EXPECT_TRUE(g_input.bSeen) << "the add-proxy dialog never showed";
    }
    void Select(const std::string& item) { ChooseEntry(item); }
};

// The availability text, with the measured figures matched by pattern, and
// the grade's line, which the grade tests look at.
std::regex AvailableText(const std::string& entry)
{
    std::string quoted = std::regex_replace(entry, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    return std::regex(
        "Proxy Server " + quoted +
        R"( is Available\r\nResponse Time [1-9][0-9]* milliseconds \r\nDownload Speed [0-9]+\.[0-9]{2} KB/sec \r\n)"
        R"((Grade: [^\r]*\r\n)?)");
}

} // namespace

TEST_F(ProxyCommandsTest, UpdateReplacesTheListOrSaysWhyItKeptTheOldOne)
{
    Store(StoredSettings{});
    WriteRaw(ListFile(), "1.1.1.1:1\r\n2.2.2.2:2\r\n");
    CSettingsDlg& dlg = Open();
    ASSERT_EQ((std::vector<std::string>{"1.1.1.1:1", "2.2.2.2:2"}), ComboItems());
    dlg.m_comboProxy.SetWindowText("typed:1");
    // The browser at the local address, where nothing listens: the list
    // still arrives, so the download went straight to the vendor, and the
    // browser's settings stay as they were.
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    const std::string strServerBefore = BrowserProxyServer();

    m_pServer->SetAnswer(kListPath, 200, "2.2.2.2:2\n3.3.3.3:3\n2.2.2.2:2");
    Click(IDC_UPDATEPROXYLIST);
    EXPECT_EQ(std::vector<std::string>{"|Proxy List Updated"}, Boxes());
    EXPECT_EQ((std::vector<std::string>{"2.2.2.2:2", "3.3.3.3:3"}), ComboItems()) << "replaced, each entry once";
    EXPECT_EQ("typed:1", ComboEditText());
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ(strServerBefore, BrowserProxyServer());
    EXPECT_EQ(1, m_pServer->CountRequests(kListPath));
    EXPECT_TRUE(PumpUntil([&] { return m_pServer->CountRequests("/licensing/ProxyGenerator/ProxyGen.asp") == 1; }));

    // A failed download: the old list stays in the file and the combo box.
    ForgetBoxes();
    std::string before = ReadRaw(ListFile());
    m_pServer->SetAnswer(kListPath, 404, "not here\r\n");
    Click(IDC_UPDATEPROXYLIST);
    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ(0u, Boxes()[0].find("Error|Proxy List Update Failed - the proxy list could not be downloaded."))
        << Boxes()[0];
    EXPECT_EQ((std::vector<std::string>{"2.2.2.2:2", "3.3.3.3:3"}), ComboItems());
    EXPECT_EQ(before, ReadRaw(ListFile()));
}

TEST_F(ProxyCommandsTest, ChoosingAnEntryTestsItAndShowsWhatWasMeasured)
{
    CLoopbackHttpServer upstream; // answers the sample as a proxy would
    upstream.SetAnswer(kSamplePath, 200, std::string(32 * 1024, 'G'));
    Store(StoredSettings{});
    std::string dead = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    WriteRaw(ListFile(), upstream.HostPort() + " Fast\r\n" + dead + "\r\n");
    CSettingsDlg& dlg = Open();
    dlg.m_bEnableJS = 0;
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_ENABLEJS), BM_SETCHECK, 1, 0);

    Select(upstream.HostPort() + " Fast");
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("Cloakwall|Testing the proxy you selected. This may take a few seconds", boxes[0]);
    std::string shown = boxes[1].substr(1);
    EXPECT_EQ('|', boxes[1][0]) << "empty caption";
    EXPECT_TRUE(std::regex_match(shown, AvailableText(upstream.HostPort() + " Fast"))) << shown;
    EXPECT_EQ(1, upstream.CountRequests(kSamplePath));
    EXPECT_EQ(0, CheckOf(IDC_ENABLEJS)) << "an unsaved tick is undone";

    ForgetBoxes();
    Select(dead);
    EXPECT_EQ((std::vector<std::string>{"Cloakwall|Testing the proxy you selected. This may take a few seconds",
                                        "Error|Proxy Server is NOT Available - Please select a different proxy"}),
              Boxes());
}

TEST_F(ProxyCommandsTest, AddNewProxyTestsWhatWasTypedAndOnlyThat)
{
    CLoopbackHttpServer upstream;
    upstream.SetAnswer(kSamplePath, 200, std::string(32 * 1024, 'G'));
    StoredSettings s;
    s.strTmpProxy = "127.0.0.1:1"; // from an earlier add
    Store(s);
    WriteRaw(ListFile(), "1.1.1.1:1\r\n");
    Open();

    // Cancel tests nothing.
    AddNewProxy(upstream.HostPort(), IDCANCEL);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ("127.0.0.1:1", StoredText("TMPProxy"));

    // An empty entry warns and tests nothing, not even the older entry.
    AddNewProxy("");
    EXPECT_EQ(std::vector<std::string>{"WARNING|Please enter a proxy address"}, Boxes());
    EXPECT_EQ("127.0.0.1:1", StoredText("TMPProxy"));

    // An answering proxy: stored, tested, put in the edit field only.
    ForgetBoxes();
    AddNewProxy(upstream.HostPort());
    EXPECT_EQ(upstream.HostPort(), StoredText("TMPProxy"));
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("Cloakwall|Testing the proxy you selected. This may take a few seconds", boxes[0]);
    EXPECT_TRUE(std::regex_match(boxes[1].substr(1), AvailableText(upstream.HostPort()))) << boxes[1];
    EXPECT_EQ(upstream.HostPort(), ComboEditText());
    EXPECT_EQ(std::vector<std::string>{"1.1.1.1:1"}, ComboItems());

    // One that does not answer leaves the edit field as it was.
    ForgetBoxes();
    std::string dead = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    AddNewProxy(dead);
    EXPECT_EQ(dead, StoredText("TMPProxy"));
    EXPECT_EQ((std::vector<std::string>{"Cloakwall|Testing the proxy you selected. This may take a few seconds",
                                        "Error|Proxy Server is NOT Available - Please select a different proxy"}),
              Boxes());
    EXPECT_EQ(upstream.HostPort(), ComboEditText());

    // Any form a list gives is accepted; the password is shown nowhere and
    // stored apart.
    ForgetBoxes();
    const std::string account = "http://carol:pw77@" + upstream.HostPort() + " mine";
    const std::string shown = "http://carol@" + upstream.HostPort() + " mine";
    AddNewProxy(account);
    EXPECT_EQ(shown, StoredText("TMPProxy"));
    ASSERT_EQ(2u, Boxes().size());
    EXPECT_TRUE(std::regex_match(Boxes()[1].substr(1), AvailableText(shown))) << Boxes()[1];
    EXPECT_EQ(shown, ComboEditText());
    EXPECT_EQ(2, upstream.CountRequests(kSamplePath));
}

// A published list's worth of entries goes into the box a part at a time:
// the entry behind a line is known before the line is in, the user's choice
// stays in the edit field, and a refill started meanwhile starts over
// instead of taking the old list's remaining parts.
TEST_F(ProxyCommandsTest, ALongListGoesInByPartsKeepingTheChoiceAndARefillStartsOver)
{
    Store(StoredSettings{});
    std::string strList;
    CStringList big;
    for (int i = 0; i < 5000; ++i) {
        std::string strEntry = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":3128";
        strList += strEntry + "\r\n";
        big.AddTail(strEntry.c_str());
    }
    WriteRaw(ListFile(), strList);
    // Graded ones rank first, the dead last, wherever the alphabet puts them.
    CProxyResults results;
    CStoredProxyResult elite, dead;
    elite.eGrade = PROXY_GRADE_ELITE;
    elite.nConnectMs = elite.nResponseMs = 40;
    dead.eGrade = PROXY_GRADE_DEAD;
    results.Set("10.0.19.249:3128", elite);
    results.Set("10.0.0.0:3128", dead);
    ASSERT_TRUE(results.Save(ResultsFile().c_str()));
    CSettingsDlg& dlg = Open();
    ASSERT_TRUE(PumpUntil([&] { return ComboItems().size() == 5000u; }, 10000)) << ComboItems().size();
    std::vector<std::string> items = ComboItems();
    EXPECT_EQ(0u, items[0].find("10.0.19.249:3128 (elite, ")) << items[0];
    EXPECT_EQ("10.0.0.0:3128 (dead)", items.back());

    // The user chose a line near the end; the list is refilled.
    const std::string strChosenLine = items[4990];
    dlg.m_comboProxy.SetCurSel(4990);
    const CString strChosen = dlg.GetChosenEntry();
    ASSERT_EQ(strChosenLine, strChosen.str());
    dlg.FillProxyCombo(big);
    EXPECT_LT(ComboItems().size(), 5000u) << "the rest comes in later messages";
    EXPECT_EQ(strChosenLine, ComboEditText());
    EXPECT_EQ(strChosen, dlg.GetChosenEntry());
    ASSERT_TRUE(PumpUntil([&] { return ComboItems().size() == 5000u; }, 10000)) << ComboItems().size();
    EXPECT_EQ(items, ComboItems());
    EXPECT_EQ(strChosenLine, ComboEditText());
    EXPECT_EQ(strChosen, dlg.GetChosenEntry());

    // A short list while the long one is still going in: the old parts
    // already asked for add nothing.
    dlg.FillProxyCombo(big);
    CStringList small;
    small.AddTail("10.0.0.1:3128");
    small.AddTail("10.0.19.249:3128");
    dlg.FillProxyCombo(small);
    PumpUntil([] { return true; });
    ASSERT_EQ(2u, ComboItems().size());
    EXPECT_EQ(0u, ComboItems()[0].find("10.0.19.249:3128 (elite, "));
    EXPECT_EQ("10.0.0.1:3128", ComboItems()[1]);
}
