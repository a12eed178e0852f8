// cw_tray_menu.exe: works the running program's tray the way a user does,
// for end-to-end scripts and screenshots.
//   cw_tray_menu hide   Cancel: the settings dialog hides into the tray
//   cw_tray_menu open   a right button on the icon: the tray menu opens
//   cw_tray_menu exit   the menu opens, Up moves from nothing selected to
//                       its last item ("Test All Proxies"), Up again over
//                       the separator to "Exit Cloakwall", Enter chooses it
//   cw_tray_menu quit   the "Exit Cloakwall" command itself, without the
//                       menu (make run's Ctrl-C)
//   cw_tray_menu testall  the tray menu's "Test All Proxies" command
//   cw_tray_menu sources  the settings dialog's "Proxy Sources..." button,
//                       or that dialog's Cancel while it is open
//   cw_tray_menu addproxy the settings dialog's "Add New Proxy" button, or
//                       that dialog's Cancel while it is open
//   cw_tray_menu status   prints the dialog's status line (the progress of
//                       "Test All Proxies", or a notice)
// Exits 0 once done, 1 when there was no program or no menu.
#include "res/resource.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HWND WaitForMenu()
{
    for (int i = 0; i < 200; ++i) {
        Sleep(25);
        HWND h = FindWindowA("#32768", nullptr);
        if (h && IsWindowVisible(h)) return h;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const char* action = argc > 1 ? argv[1] : "exit";
    HWND hWnd = FindWindowA("CloakwallSettings", nullptr);
    if (!hWnd) {
        std::puts("no running Cloakwall");
        return 1;
    }
    if (std::strcmp(action, "hide") == 0) {
        PostMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    if (std::strcmp(action, "quit") == 0) {
        PostMessageA(hWnd, WM_COMMAND, ID_EXIT_CLOAKWALL, 0);
        return 0;
    }
    if (std::strcmp(action, "testall") == 0) {
        PostMessageA(hWnd, WM_COMMAND, ID_TEST_ALL_PROXIES, 0);
        return 0;
    }
    if (std::strcmp(action, "sources") == 0) {
        if (HWND hSources = FindWindowA(nullptr, "Proxy Sources"))
            PostMessageA(hSources, WM_COMMAND, IDCANCEL, 0);
        else
            PostMessageA(hWnd, WM_COMMAND, IDC_PROXYSOURCES, 0);
        return 0;
    }
    if (std::strcmp(action, "addproxy") == 0) {
        if (HWND hAdd = FindWindowA(nullptr, "Add Proxy"))
            PostMessageA(hAdd, WM_COMMAND, IDCANCEL, 0);
        else
            PostMessageA(hWnd, WM_COMMAND, IDC_ADDNEWPROXY, 0);
        return 0;
    }
    if (std::strcmp(action, "status") == 0) {
        char text[512] = "";
        GetDlgItemTextA(hWnd, IDC_TESTSTATUS, text, sizeof text);
        std::puts(text);
        return 0;
    }
    // The icon's callback: icon id 1, right button down.
    PostMessageA(hWnd, WM_USER + 1, 1, WM_RBUTTONDOWN);
    HWND hMenu = WaitForMenu();
    if (!hMenu) {
        std::puts("the tray menu did not open");
        return 1;
    }
    if (std::strcmp(action, "exit") == 0) {
        PostMessageA(hMenu, WM_KEYDOWN, VK_UP, 0);
        PostMessageA(hMenu, WM_KEYDOWN, VK_UP, 0);
        PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 0);
    }
    return 0;
}
