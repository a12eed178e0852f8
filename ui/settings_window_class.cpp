// RegisterSettingsWindowClass: a copy of the system dialog class's defaults;
// the mark of a window whose program is ending.
#include "ui/settings_window_class.h"

#include "res/resource.h"

BOOL RegisterSettingsWindowClass(HINSTANCE hInstance)
{
    WNDCLASSA wc;
    if (GetClassInfoA(hInstance, CLOAKWALL_SETTINGS_CLASS, &wc)) return TRUE;
    if (!GetClassInfoA(nullptr, MAKEINTRESOURCEA(0x8002), &wc)) // "#32770", the dialog class
        return FALSE;
    wc.hInstance = hInstance;
    wc.lpszClassName = CLOAKWALL_SETTINGS_CLASS;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    return RegisterClassA(&wc) != 0;
}

namespace {
// A window property: another process reads it by the same name.
const char kEndingProperty[] = "CloakwallEnding";
} // namespace

void MarkSettingsWindowEnding(HWND hWnd)
{
    SetPropA(hWnd, kEndingProperty, reinterpret_cast<HANDLE>(1));
}

BOOL IsSettingsWindowEnding(HWND hWnd)
{
    return GetPropA(hWnd, kEndingProperty) != nullptr;
}
