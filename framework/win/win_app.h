// CWinApp: the one application object. The program's WinMain hands control
// to AfxWinMain, which runs InitInstance and, only when that returns TRUE,
// a message loop of its own.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run();
    virtual int ExitInstance() { return m_nExitCode; }

    LPCTSTR m_pszAppName;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;
};

CWinApp* AfxGetApp();
// The module whose resources the program loads: the executable.
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

// Container and 3-D look switches of the classic framework. The controls of
// every Windows version this program runs on already draw in 3-D and no
// ActiveX control is hosted, so both have nothing to do here.
inline void AfxEnableControlContainer()
{
}
inline BOOL Enable3dControlsStatic()
{
    return TRUE;
}
