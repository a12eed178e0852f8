// CPrivacyApp: the application. Its start-up makes sure one instance runs,
// marks the browser caption and runs the settings dialog, whose modal loop
// is the program's message loop until Exit.
#pragma once

#include "framework/win/win_app.h"

// The name every instance tries to create; the first one keeps it open.
#define CLOAKWALL_INSTANCE_MUTEX "AFX_Talve_H__3D9A61C4_7E02_4B8F_A5D1_92C7E04B6F13"

class CPrivacyApp : public CWinApp {
public:
    CPrivacyApp() = default;
    // Always FALSE: when the dialog has ended there is nothing left to run.
    BOOL InitInstance() override;
};

// Brings the running instance's settings window forward. FALSE when there
// is none to find.
BOOL ActivateRunningInstance();

// For a start that found the instance mutex taken: the other instance may
// still be ending (its window gone, its process not yet). Brings its window
// forward and returns FALSE as soon as there is one; returns TRUE, with
// rhMutex this start's own, once the name is free or after a few seconds.
BOOL WaitForEndingInstance(HANDLE& rhMutex);

extern CPrivacyApp theApp;
