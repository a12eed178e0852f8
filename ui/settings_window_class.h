// The settings dialog's own window class, "CloakwallSettings": the system's
// dialog class under our name, so a second start and the installer find the
// running program's window by class whatever its caption.
#pragma once

#include <windows.h>

// Registers the class for this module (once; later calls find it there).
// FALSE when it could not be registered.
BOOL RegisterSettingsWindowClass(HINSTANCE hInstance);
