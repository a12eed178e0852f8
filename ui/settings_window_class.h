// The settings dialog's own window class, "CloakwallSettings": the system's
// dialog class under our name, so a second start and the installer find the
// running program's window by class whatever its caption.
#pragma once

#include <windows.h>

// Registers the class for this module (once; later calls find it there).
// FALSE when it could not be registered.
BOOL RegisterSettingsWindowClass(HINSTANCE hInstance);

// An ending program's window stays there, found by its class, while its Exit
// puts the browser back: it is marked first, so a start in the meantime
// waits for that program to go instead of taking it for a running one and
// ending itself (a user who starts the program right after Exit would find
// nothing running).
void MarkSettingsWindowEnding(HWND hWnd);
BOOL IsSettingsWindowEnding(HWND hWnd);
