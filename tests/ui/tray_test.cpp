// Hiding into the tray and coming back, and the tray menu as the icon's
// right button really opens it.
#include "dialog_fixture.h"

#include "res/resource.h"

using namespace uitest;

namespace {

struct MenuSeen {
    bool bOpened = false;
    bool bChecked = false;
    UINT nDefault = (UINT)-1;
};
MenuSeen g_seen;

// Runs inside the menu's own loop: looks at the open menu, then closes it.
void CALLBACK LookAtMenuAndClose(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    HMENU hMenu = CMenu::GetTrackingMenu();
    if (!hMenu) return;
    KillTimer(nullptr, idEvent);
    g_seen.bOpened = true;
    g_seen.bChecked = (GetMenuState(hMenu, ID_TOGGLE_ANONYMOUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    g_seen.nDefault = GetMenuDefaultItem(hMenu, TRUE, 0);
    EndMenu();
}

MenuSeen OpenTrayMenu(CSettingsDlg& dlg)
{
    g_seen = MenuSeen{};
    UINT_PTR id = SetTimer(nullptr, 0, 50, LookAtMenuAndClose);
    dlg.SendMessage(WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
    KillTimer(nullptr, id);
    return g_seen;
}

} // namespace

TEST_F(DialogTest, CancelCloseAndMinimiseHideIntoTheTrayAndTheIconBringsItBack)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    PumpUntil([&] { return !dlg.IsWindowVisible(); });

    struct Way {
        const char* name;
        std::function<void()> hide;
    };
    std::vector<Way> ways = {
        {"Cancel", [&] { Click(IDCANCEL); }},
        {"Escape", [&] { dlg.SendMessage(WM_COMMAND, IDCANCEL, 0); }},
        {"close box", [&] { dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"minimise", [&] { dlg.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        // Back from the tray by the menu's "Configuration".
        Command(ID_CONFIGURATION);
        ASSERT_TRUE(dlg.IsWindowVisible());
        ASSERT_FALSE(dlg.IsTrayIconShown());
        way.hide();
        EXPECT_FALSE(dlg.IsWindowVisible());
        EXPECT_TRUE(dlg.IsTrayIconShown());
        EXPECT_TRUE(::IsWindow(dlg.m_hWnd)) << "hidden, not ended";
    }

    // A left double click on the icon shows the dialog and removes the icon.
    dlg.SendMessage(WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(dlg.IsTrayIconShown());
    // Clicks for another icon id, and a double click while shown, do nothing.
    dlg.SendMessage(WM_TRAYNOTIFY, 2, WM_LBUTTONDBLCLK);
    dlg.SendMessage(WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(dlg.IsTrayIconShown());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DialogTest, CloseWhileTheIconIsShownLeavesEverythingAsItIs)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    PumpUntil([&] { return !dlg.IsWindowVisible(); });
    dlg.ShowWindow(SW_SHOW); // shown by someone else while the icon stays
    ASSERT_TRUE(dlg.IsTrayIconShown());
    dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_TRUE(dlg.IsTrayIconShown());
}

TEST_F(DialogTest, RightButtonOpensTheTrayMenuWithItsCheckMarkAndDefaultItem)
{
    CLoopbackHttpServer upstream;
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = upstream.HostPort();
    Store(s);
    CSettingsDlg& dlg = Open();

    MenuSeen first = OpenTrayMenu(dlg);
    ASSERT_TRUE(first.bOpened);
    EXPECT_TRUE(first.bChecked) << "the stored proxy is in force";
    EXPECT_EQ((UINT)-1, first.nDefault) << "no default item at the first opening";

    Command(ID_TOGGLE_ANONYMOUS);
    MenuSeen second = OpenTrayMenu(dlg);
    ASSERT_TRUE(second.bOpened);
    EXPECT_FALSE(second.bChecked);
    EXPECT_EQ(0u, second.nDefault) << "the first item is the default from the second opening on";
}

TEST_F(DialogTest, DestroyingTheHiddenDialogTakesTheIconAway)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    ASSERT_TRUE(dlg.IsTrayIconShown());
    NOTIFYICONDATAA nid = dlg.GetTrayRecord();
    Close();
    // The shell no longer knows the icon: deleting it again fails.
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
}

// Explorer restarting: the new taskbar knows no icons and says so with the
// broadcast "TaskbarCreated". The hidden dialog's icon comes back under its
// id; a dialog on screen puts none there.
TEST_F(DialogTest, ANewTaskbarGetsTheHiddenDialogsIconBack)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    PumpUntil([&] { return !dlg.IsWindowVisible(); });
    ASSERT_TRUE(dlg.IsTrayIconShown());
    NOTIFYICONDATAA nid = dlg.GetTrayRecord();
    const UINT nTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    auto broadcast = [&] {
        DWORD_PTR dwResult = 0;
        SendMessageTimeoutA(HWND_BROADCAST, nTaskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwResult);
    };

    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid)) << "the old taskbar takes the icon with it";
    ASSERT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &nid));
    broadcast();
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &nid)) << "the icon is in the tray again";
    EXPECT_TRUE(dlg.IsTrayIconShown());
    EXPECT_FALSE(dlg.IsWindowVisible());
    // A broadcast while the shell still has the icon leaves exactly one.
    broadcast();
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
    broadcast();

    // The icon brings the dialog back; a new taskbar then gets no icon.
    dlg.SendMessage(WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(dlg.IsWindowVisible());
    broadcast();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
    EXPECT_TRUE(Boxes().empty());
}
