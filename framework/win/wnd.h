// CWnd: a window handle with the message-map dispatch every window class of
// the program shares. Windows the program did not create (controls, other
// processes' windows) get short-lived wrappers through FromHandle.
#pragma once

#include "framework/core/cstring.h"
#include "framework/win/msg_map.h"

#include <windows.h>

class CMenu;

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    BOOL Attach(HWND hWnd);
    HWND Detach();

    // The program's own object for a window it created, or a wrapper owned by
    // the thread that stays valid until the window's handle is reused.
    static CWnd* FromHandle(HWND hWnd);

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL DestroyWindow();
    void SetWindowText(LPCTSTR psz) { ::SetWindowTextA(m_hWnd, psz); }
    void GetWindowText(CString& rString) const;
    CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
    void SetDlgItemText(int nID, LPCTSTR psz) { ::SetDlgItemTextA(m_hWnd, nID, psz); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfn = nullptr)
    {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, pfn);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, msg, w, l); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, msg, w, l); }
    CMenu* GetSystemMenu(BOOL bRevert) const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return (HICON)SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, (LPARAM)hIcon);
    }

    // Dispatch: the map entry for a message, subclass first. TRUE when a
    // handler took it and did not ask for the default processing.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // Commands, control notifications and menu updates by id and code.
    virtual BOOL OnCmdMsg(UINT nID, UINT nCode, void* pExtra);

    static const AFX_MSGMAP* GetThisMessageMap();

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Asks for the platform's own processing of the message being handled,
    // after the handler returns.
    LRESULT Default();

    // Handlers of the messages the base classes route.
    int OnCreate(LPCREATESTRUCT)
    {
        Default();
        return 0;
    }
    void OnDestroy() { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnPaint() { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnInitMenuPopup(CMenu*, UINT, BOOL) { Default(); }

private:
    static const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID);
    BOOL m_bDefaultAsked = FALSE;
};
