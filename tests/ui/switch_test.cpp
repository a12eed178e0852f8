// The anonymous-browsing switch: "Save Settings", the tray command with its
// check mark, and Exit.
#include "dialog_fixture.h"

#include "res/resource.h"

using namespace uitest;

namespace {

void SetCheck(CSettingsDlg& dlg, int nID, int nCheck)
{
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, nID), BM_SETCHECK, nCheck, 0);
}

// The focus is in the proxy box (its edit field is a child of it).
bool FocusInProxyBox(CSettingsDlg& dlg)
{
    HWND hFocus = ::GetFocus();
    return hFocus && (hFocus == dlg.m_comboProxy.m_hWnd || ::IsChild(dlg.m_comboProxy.m_hWnd, hFocus));
}

UINT IconOf(const CMessageBoxRecorder::Box& box)
{
    return box.nType & MB_ICONMASK;
}

// The tray menu's check mark as the dialog's update handlers leave it.
bool TrayCheckMark(CSettingsDlg& dlg)
{
    CMenu* pPopup = dlg.GetTrayMenu().GetSubMenu(0);
    dlg.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(pPopup->m_hMenu), 0);
    return (pPopup->GetMenuState(ID_TOGGLE_ANONYMOUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

} // namespace

TEST_F(DialogTest, SaveWithAnEmptyProxyStillStoresTheOtherSettingsAndStaysOpenAtTheProxyBox)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    PumpUntil([&] { return !dlg.IsWindowVisible(); });
    dlg.OnConfiguration();
    ASSERT_TRUE(dlg.IsWindowVisible());
    ASSERT_FALSE(dlg.IsTrayIconShown());

    SetCheck(dlg, IDC_USEPROXY, 1);
    SetCheck(dlg, IDC_ENABLEJS, 1);
    SetCheck(dlg, IDC_CLEARCOOKIES, 0);
    Click(IDOK);

    EXPECT_EQ(std::vector<std::string>{"|No proxy selected"}, Boxes());
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), IconOf(m_pRecorder->Boxes()[0]));
    EXPECT_EQ(1, CheckOf(IDC_USEPROXY)) << "nothing was switched on, and the wish stands";
    EXPECT_FALSE(TrayCheckMark(dlg));
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(1u, StoredDword("EnableJS"));
    EXPECT_EQ(0u, StoredDword("ClearCookies"));
    EXPECT_EQ(1u, StoredDword("ClearTmpFiles"));
    EXPECT_TRUE(dlg.m_cleanerThread.IsRunning()) << "restarted with the saved jobs";
    // Switching on failed: the dialog does not vanish as if it had worked.
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(dlg.IsTrayIconShown());
    EXPECT_TRUE(FocusInProxyBox(dlg));
}

TEST_F(DialogTest, SaveWithAnUnreachableProxyChangesNothingOfTheSwitch)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    dlg.OnConfiguration();
    std::string dead = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    SetCheck(dlg, IDC_USEPROXY, 1);
    dlg.m_comboProxy.SetWindowText(dead.c_str());
    Click(IDOK);

    EXPECT_EQ(
        (std::vector<std::string>{"Error|Unable to connect to proxy server", "ERROR|Please choose another Proxy!"}),
        Boxes());
    for (const auto& box : m_pRecorder->Boxes()) EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), IconOf(box));
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_EQ("", StoredText("ProxyName"));
    EXPECT_EQ(0, dlg.m_bEnabled);
    EXPECT_FALSE(TrayCheckMark(dlg));
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_TRUE(FocusInProxyBox(dlg));
}

TEST_F(DialogTest, EnterInTheProxyFieldSavesAndTheCheckComesFirst)
{
    CLoopbackHttpServer upstream;
    upstream.SetAnswer("/page", 200, "through the upstream");
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    dlg.OnConfiguration();
    SetCheck(dlg, IDC_USEPROXY, 1);
    dlg.m_comboProxy.SetWindowText(upstream.HostPort().c_str());
    HWND hEdit = ::GetWindow(dlg.m_comboProxy.m_hWnd, GW_CHILD);
    ASSERT_NE(nullptr, hEdit);
    ::SetFocus(hEdit);
    ASSERT_TRUE(FocusInProxyBox(dlg));

    // The key as the dialog's own loop sees it.
    ::PostMessageA(hEdit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < 10000 && dlg.IsWindowVisible();) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (::IsDialogMessageA(dlg.m_hWnd, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
    EXPECT_FALSE(dlg.IsWindowVisible()) << "saved and hidden";
    EXPECT_EQ(upstream.HostPort(), StoredText("ProxyName"));
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_EQ(1, upstream.Accepted() - upstream.CountRequests("/page")) << "the reachability check's connection";
}

TEST_F(DialogTest, SaveWithAReachableProxyForwardsThroughItAndStoresItOnce)
{
    CLoopbackHttpServer upstream;
    upstream.SetAnswer("/page", 200, "through the upstream");
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    SetCheck(dlg, IDC_USEPROXY, 1);
    dlg.m_comboProxy.SetWindowText(upstream.HostPort().c_str());
    Click(IDOK);

    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_EQ(1, upstream.CountRequests("/page"));
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_EQ(upstream.HostPort(), StoredText("ProxyName"));
    EXPECT_EQ(1, dlg.m_bEnabled);
    EXPECT_TRUE(TrayCheckMark(dlg));

    // Saving the same proxy again restarts the local proxy but writes
    // neither value: what someone else put there meanwhile stays.
    rawreg::PutDword(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UseProxy", 7);
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "ProxyName", "sentinel");
    dlg.OnConfiguration();
    Click(IDOK);
    EXPECT_EQ(7u, StoredDword("UseProxy"));
    EXPECT_EQ("sentinel", StoredText("ProxyName"));
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_EQ(2, upstream.CountRequests("/page"));

    // A new proxy that does not answer leaves the old one in force, and the
    // check box says so.
    dlg.OnConfiguration();
    dlg.m_comboProxy.SetWindowText(("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str());
    Click(IDOK);
    EXPECT_EQ(1, CheckOf(IDC_USEPROXY));
    EXPECT_TRUE(TrayCheckMark(dlg));
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));

    // Cleared check box: browser direct, local proxy gone, UseProxy 0.
    dlg.OnConfiguration();
    SetCheck(dlg, IDC_USEPROXY, 0);
    Click(IDOK);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ("", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_EQ(0, dlg.m_bEnabled);
    EXPECT_FALSE(TrayCheckMark(dlg));
}

TEST_F(DialogTest, SaveWhenTheLocalPortIsTakenSaysSoAndStillRecordsTheProxy)
{
    CLoopbackHttpServer upstream;
    CLoopbackHttpServer squatter(8080);
    ASSERT_TRUE(squatter.IsListening()) << "127.0.0.1:8080 is taken by another program";
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    SetCheck(dlg, IDC_USEPROXY, 1);
    dlg.m_comboProxy.SetWindowText(upstream.HostPort().c_str());
    Click(IDOK);

    EXPECT_EQ(std::vector<std::string>{"ERROR|Cannot Start Proxy!"}, Boxes());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(1u, BrowserProxyEnable()) << "the browser keeps pointing at the local address";
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_EQ(upstream.HostPort(), StoredText("ProxyName"));
}

TEST_F(DialogTest, TrayCommandSwitchesOnAndOffWithItsCheckMark)
{
    CLoopbackHttpServer upstream;
    upstream.SetAnswer("/page", 200, "through the upstream");
    StoredSettings s;
    s.strProxyName = upstream.HostPort();
    Store(s);
    CSettingsDlg& dlg = Open();
    ASSERT_FALSE(TrayCheckMark(dlg));

    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_TRUE(TrayCheckMark(dlg));
    EXPECT_EQ(1, CheckOf(IDC_USEPROXY));
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));

    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_FALSE(TrayCheckMark(dlg));
    EXPECT_EQ(0, CheckOf(IDC_USEPROXY));
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DialogTest, TrayCommandThatCannotSwitchOnLeavesTheSwitchOff)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();

    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_EQ(std::vector<std::string>{"|No proxy selected"}, Boxes());
    EXPECT_EQ(0, dlg.m_bEnabled);

    // Now a stored proxy that does not answer.
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "ProxyName",
                    "127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
    g_regProxyName.Read();
    ForgetBoxes();
    Command(ID_TOGGLE_ANONYMOUS);
    EXPECT_EQ(
        (std::vector<std::string>{"Error|Unable to connect to proxy server", "ERROR|Please choose another Proxy!"}),
        Boxes());
    EXPECT_EQ(0, dlg.m_bEnabled);
    EXPECT_FALSE(TrayCheckMark(dlg));
    EXPECT_EQ(0u, BrowserProxyEnable());
}

TEST_F(DialogTest, ExitClearsTheCaptionSetsTheBrowserDirectAndEndsTheDialog)
{
    CLoopbackHttpServer upstream;
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = upstream.HostPort();
    Store(s);
    const char* kMain = "Software\\Microsoft\\Internet Explorer\\Main";
    rawreg::PutText(HKEY_CURRENT_USER, kMain, "Window Title", "Cloakwall is Enabled");
    CSettingsDlg& dlg = Open();
    ASSERT_EQ(1u, BrowserProxyEnable());

    Command(ID_EXIT_CLOAKWALL);
    EXPECT_EQ(0, dlg.GetModalResult());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ("", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kMain, "Window Title")));
    // The settings stay, so the next start switches on again.
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_EQ(upstream.HostPort(), StoredText("ProxyName"));
}

// A switch-on that fails leaves the box ticked and says why, so the proxy
// chosen next is switched on by the next "Save Settings". A proxy chosen
// while the box is clear does not send the dialog to the tray as if
// browsing were on: it stays and says so.
TEST_F(DialogTest, AFailedSwitchOnKeepsTheBoxTickedAndSaveAfterAChoiceSaysWhatItDid)
{
    CLoopbackHttpServer upstream, other;
    Store(StoredSettings{});
    WriteRaw(ListFile(), upstream.HostPort() + "\r\n" + other.HostPort() + "\r\n");
    CSettingsDlg& dlg = Open();
    dlg.OnConfiguration();
    auto status = [&] {
        char text[512] = "";
        ::GetDlgItemTextA(dlg.m_hWnd, IDC_TESTSTATUS, text, sizeof text);
        return std::string(text);
    };
    SetCheck(dlg, IDC_USEPROXY, 1);
    dlg.m_comboProxy.SetWindowText(("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str());
    Click(IDOK);
    EXPECT_EQ(1, CheckOf(IDC_USEPROXY));
    EXPECT_FALSE(TrayCheckMark(dlg)) << "the tray shows what is in force";
    EXPECT_EQ(SWITCH_ON_FAILED_TEXT, status());
    EXPECT_TRUE(dlg.IsWindowVisible());

    // Another proxy from the list (it is tested, and graded dead here: the
    // question before using it is answered Yes), and Save: on.
    m_pRecorder.reset();
    m_pRecorder = std::make_unique<CMessageBoxRecorder>(IDYES);
    ChooseEntry(upstream.HostPort());
    Click(IDOK);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(1u, StoredDword("UseProxy"));
    EXPECT_EQ(upstream.HostPort(), StoredText("ProxyName"));
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ("", status()) << "what the failed Save said is over";

    // Cleared by the user's own click and saved: off, to the tray, as asked.
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_CLICK, 0, 0);
    Click(IDOK);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(0u, BrowserProxyEnable());

    // A proxy chosen with the box clear, and saved: the dialog stays and
    // says that browsing is off.
    dlg.OnConfiguration();
    ChooseEntry(other.HostPort());
    ASSERT_EQ(0, CheckOf(IDC_USEPROXY));
    Click(IDOK);
    EXPECT_TRUE(dlg.IsWindowVisible()) << "not to the tray with browsing off";
    EXPECT_EQ("Anonymous browsing is off, so " + other.HostPort() +
                  " is not used. Tick \"Enable Anonymous Browsing\" and press \"Save Settings\" to browse through it.",
              status());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_EQ(0u, BrowserProxyEnable());
}
