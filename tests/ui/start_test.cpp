// The settings dialog's initialisation: the first start on a machine, a
// later start, and start-ups where the list file or the stored proxy are
// not what they should be.
#include "dialog_fixture.h"

#include "res/resource.h"

using namespace uitest;

namespace {

// A list with a repeated entry and a last line without a line end.
const char kList[] = "127.0.0.1:3128\r\n10.0.0.1:8080 Fast anonymous\r\n127.0.0.1:3128\r\n192.168.1.1:80";
const std::vector<std::string> kItems = {"10.0.0.1:8080 Fast anonymous", "127.0.0.1:3128", "192.168.1.1:80"};

} // namespace

TEST_F(DialogTest, FirstStartDownloadsTheListShowsTheDialogAndMarksTheFirstRunDone)
{
    StoredSettings s;
    s.dwRunFirst = 0;
    s.dwMinimize = 0;
    Store(s);
    m_pServer->SetAnswer("/licensing/ProxyGenerator/proxylist.txt", 200, kList);
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    ASSERT_EQ(1u, BrowserProxyEnable());

    CSettingsDlg& dlg = Open();
    PumpFor(200);

    EXPECT_EQ(0u, BrowserProxyEnable()) << "the download must go out directly";
    EXPECT_EQ(1, m_pServer->CountRequests("/licensing/ProxyGenerator/proxylist.txt"));
    // Each proxy once, as its first line gave it.
    EXPECT_EQ("127.0.0.1:3128\r\n10.0.0.1:8080 Fast anonymous\r\n192.168.1.1:80\r\n", ReadRaw(ListFile()));
    // Once from the download and once from the start-up read of the file:
    // each entry is listed once all the same, the last line included.
    EXPECT_EQ(kItems, ComboItems());
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(dlg.IsTrayIconShown());
    EXPECT_EQ(1u, StoredDword("RunFirst"));
    EXPECT_EQ(1u, StoredDword("Minimize"));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(PumpUntil([&] { return m_pServer->CountRequests("/licensing/ProxyGenerator/ProxyGen.asp") == 1; }))
        << "the proxy-generator request follows the download";
    EXPECT_TRUE(dlg.m_cleanerThread.IsRunning());
    // The check boxes show the stored settings.
    EXPECT_EQ(1, CheckOf(IDC_CLEARCOOKIES));
    EXPECT_EQ(0, CheckOf(IDC_ENABLEJS));
    EXPECT_EQ(0, CheckOf(IDC_USEPROXY));
    // What was loaded, and the next step.
    char status[256] = "";
    ::GetDlgItemTextA(dlg.m_hWnd, IDC_TESTSTATUS, status, sizeof status);
    EXPECT_EQ("3 proxies from 1 list. Press \"Test All Proxies\" to find the ones that work.", std::string(status));
}

TEST_F(DialogTest, LaterStartHidesIntoTheTrayAtTheFirstTickAndDownloadsNothing)
{
    Store(StoredSettings{});
    WriteRaw(ListFile(), "127.0.0.1:3128\r\n");

    CSettingsDlg& dlg = Open();
    EXPECT_TRUE(dlg.IsTrayIconShown());
    EXPECT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); }));
    PumpFor(100);
    EXPECT_FALSE(dlg.IsWindowVisible()) << "hidden for good, not shown again at the next idle moment";
    EXPECT_TRUE(dlg.IsTrayIconShown());
    EXPECT_EQ(std::vector<std::string>{"127.0.0.1:3128"}, ComboItems());
    EXPECT_EQ(0, m_pServer->CountRequests("/licensing/ProxyGenerator/proxylist.txt"));
    EXPECT_TRUE(dlg.m_cleanerThread.IsRunning());
}

TEST_F(DialogTest, FirstRunWhoseListCannotBeWrittenFinishesStartingAndTriesAgainNextTime)
{
    StoredSettings s;
    s.dwRunFirst = 0;
    s.dwMinimize = 0;
    s.dwEnableJS = 1;
    Store(s);
    // An application folder that does not exist: nothing can be written there.
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "AppPath", m_strFolder + "missing\\");
    g_strAppPath = g_regAppPath.Read();
    m_pServer->SetAnswer("/licensing/ProxyGenerator/proxylist.txt", 200, kList);

    CSettingsDlg& dlg = Open();
    PumpFor(100);

    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ(0u, Boxes()[0].find("Error|Proxy List Update Failed - the proxy list file could not be written."))
        << Boxes()[0];
    EXPECT_EQ(0u, StoredDword("RunFirst"));
    // The rest of the initialisation ran: settings shown, first-start
    // visibility, the system menu's about item.
    EXPECT_EQ(1, CheckOf(IDC_ENABLEJS));
    EXPECT_EQ(1u, StoredDword("Minimize"));
    EXPECT_TRUE(dlg.IsWindowVisible());
    CMenu* pSys = dlg.GetSystemMenu(FALSE);
    ASSERT_NE(nullptr, pSys);
    char text[64] = "";
    GetMenuStringA(pSys->m_hMenu, IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ("&About Cloakwall...", text);
}

namespace {

std::string g_aboutText;

BOOL CALLBACK FindAboutText(HWND hWnd, LPARAM lParam)
{
    char text[128] = "";
    GetWindowTextA(hWnd, text, sizeof text);
    *reinterpret_cast<std::string*>(lParam) += std::string(text) + "\n";
    return TRUE;
}

// Inside the about box's loop: note its texts, then press OK.
void CALLBACK ReadAboutBox(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    HWND hAbout = GetActiveWindow();
    if (!hAbout || GetDlgItem(hAbout, IDOK) == nullptr || GetDlgItem(hAbout, IDC_USEPROXY) != nullptr)
        return; // not there yet, or still the settings dialog
    KillTimer(nullptr, idEvent);
    g_aboutText.clear();
    EnumChildWindows(hAbout, FindAboutText, reinterpret_cast<LPARAM>(&g_aboutText));
    SendMessageA(GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
}

} // namespace

TEST_F(DialogTest, SystemMenuItemOpensTheAboutBox)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    PumpUntil([&] { return !dlg.IsWindowVisible(); });
    dlg.OnConfiguration();
    g_aboutText.clear();
    UINT_PTR id = SetTimer(nullptr, 0, 20, ReadAboutBox);
    dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    KillTimer(nullptr, id);
    EXPECT_NE(std::string::npos, g_aboutText.find("Cloakwall 1.5\n")) << g_aboutText;
    EXPECT_TRUE(dlg.IsWindowVisible()) << "the settings dialog is still there";
}

TEST_F(DialogTest, StoredProxyIsAppliedWithoutAListFileAndTheControlsShowWhatIsInForce)
{
    CLoopbackHttpServer upstream;
    upstream.SetAnswer("/page", 200, "through the upstream");
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = upstream.HostPort();
    Store(s);
    // No proxylist.txt in the folder.

    CSettingsDlg& dlg = Open();
    EXPECT_TRUE(ComboItems().empty());
    EXPECT_EQ(upstream.HostPort(), ComboEditText());
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_EQ(1, upstream.CountRequests("/page"));
    EXPECT_EQ(1, CheckOf(IDC_USEPROXY));
    EXPECT_EQ(1, dlg.m_bEnabled);

    // The first tray command switches off what start-up switched on.
    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_EQ(0, dlg.m_bEnabled);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
}

TEST_F(DialogTest, StoredProxyThatWasSwitchedOffStaysOffAtStartUp)
{
    StoredSettings s;
    s.dwUseProxy = 0;
    s.strProxyName = "127.0.0.1:3128";
    Store(s);

    CSettingsDlg& dlg = Open();
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(0, CheckOf(IDC_USEPROXY));
    EXPECT_EQ(0, dlg.m_bEnabled);
    EXPECT_EQ("127.0.0.1:3128", ComboEditText()) << "the last proxy is offered for the next save";
}
