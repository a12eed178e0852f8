// cw_tray_exit.exe: chooses "Exit Cloakwall" from the running program's tray
// menu the way a user does: a right button on the icon opens the menu, the
// Up key moves from nothing selected to its last item, Enter chooses it.
// For end-to-end scripts; exits 0 once the menu was driven, 1 otherwise.
#include <windows.h>

#include <cstdio>

int main()
{
    HWND hWnd = FindWindowA("CloakwallSettings", nullptr);
    if (!hWnd) {
        std::puts("no running Cloakwall");
        return 1;
    }
    // The icon's callback: icon id 1, right button down.
    PostMessageA(hWnd, WM_USER + 1, 1, WM_RBUTTONDOWN);
    HWND hMenu = nullptr;
    for (int i = 0; i < 200 && !hMenu; ++i) {
        Sleep(25);
        HWND h = FindWindowA("#32768", nullptr);
        if (h && IsWindowVisible(h))
            hMenu = h;
    }
    if (!hMenu) {
        std::puts("the tray menu did not open");
        return 1;
    }
    PostMessageA(hMenu, WM_KEYDOWN, VK_UP, 0);
    PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 0);
    std::puts("chose Exit Cloakwall from the tray menu");
    return 0;
}
