// CPrivacyApp::InitInstance and theApp. theApp is defined after the settings
// objects in link order, so they exist (and have read the registry) before
// it is built.
#include "app/privacy_app.h"

#include "res/resource.h"
#include "settings/content_filter_switches.h"
#include "settings/proxy_bypass_setting.h"
#include "settings/run_at_startup_setting.h"
#include "settings/settings_store.h"
#include "ui/settings_dlg.h"
#include "ui/settings_window_class.h"

CPrivacyApp theApp;

BOOL ActivateRunningInstance()
{
    // By class: the settings window's caption is not the program's name. A
    // window whose program is ending is not a running instance.
    HWND hWnd = FindWindowExA(nullptr, nullptr, CLOAKWALL_SETTINGS_CLASS, nullptr);
    while (hWnd && IsSettingsWindowEnding(hWnd)) hWnd = FindWindowExA(nullptr, hWnd, CLOAKWALL_SETTINGS_CLASS, nullptr);
    if (!hWnd) return FALSE;
    // Its own "Configuration" command first: the window shows from its own
    // thread and takes its tray icon away, as when the user asks from the
    // tray; a window merely shown from outside would keep the icon and
    // ignore its close box.
    PostMessageA(hWnd, WM_COMMAND, ID_CONFIGURATION, 0);
    ShowWindow(hWnd, SW_SHOWDEFAULT);
    BringWindowToTop(hWnd);
    SetForegroundWindow(hWnd);
    return TRUE;
}

namespace {

// How long a start waits for an instance that is ending (its window gone,
// its process not yet), and how often it looks again.
const DWORD kEndingWaitMs = 5000;
const DWORD kEndingPollMs = 100;

// Creates the instance mutex, leaving it open and unowned; TRUE when another
// instance holds the name already.
BOOL CreateInstanceMutex(HANDLE& rhMutex)
{
    rhMutex = CreateMutexA(nullptr, TRUE, CLOAKWALL_INSTANCE_MUTEX);
    DWORD dwError = GetLastError();
    if (rhMutex) ReleaseMutex(rhMutex);
    return dwError == ERROR_ALREADY_EXISTS;
}

} // namespace

BOOL WaitForEndingInstance(HANDLE& rhMutex)
{
    for (DWORD dwWaited = 0;; dwWaited += kEndingPollMs) {
        if (ActivateRunningInstance()) return FALSE;
        if (dwWaited >= kEndingWaitMs) return TRUE; // stuck ending: start all the same
        if (rhMutex) CloseHandle(rhMutex);
        Sleep(kEndingPollMs);
        if (!CreateInstanceMutex(rhMutex)) return TRUE;
    }
}

BOOL CPrivacyApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    // Every start, the second one too, keeps the start with Windows pointing
    // at the installed executable; the settings objects exist by now.
    RegisterRunAtStartupFromSettings();

    // The handle stays open, unowned, for the life of the process: the name
    // goes away with the process, however it ends.
    HANDLE hMutex = nullptr;
    if (CreateInstanceMutex(hMutex) && !WaitForEndingInstance(hMutex)) return FALSE;

    g_strAppPath = g_regAppPath.Get();
    // Before the dialog hands the list to the browser.
    ReplaceEarlierDefaultBypass();
    UseSettingsForContentFilter();
    // The browser caption is set when anonymous browsing is switched on,
    // and cleared when this start does not switch it on (the dialog's
    // initialisation): a caption left by a crash does not outlive it.

    RegisterSettingsWindowClass(m_hInstance);
    {
        CSettingsDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
