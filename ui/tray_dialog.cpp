// CTrayDialog: the notification-area icon, its menu, and hiding instead of
// closing or minimising.
#include "ui/tray_dialog.h"

#include "framework/win/win_app.h"

#include <cstring>

BEGIN_MESSAGE_MAP(CTrayDialog, CDialog)
    ON_WM_DESTROY()
    ON_WM_SYSCOMMAND()
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
END_MESSAGE_MAP()

CTrayDialog::CTrayDialog(UINT nIDTemplate, CWnd* pParent)
    : CDialog(nIDTemplate, pParent), m_bMinimizeToTray(TRUE), m_bIconShown(FALSE), m_nDefaultItem(0),
      m_nTaskbarCreatedMsg(0)
{
    std::memset(&m_nid, 0, sizeof m_nid);
    // The 488-byte form of the record: understood by every shell since the
    // balloon tips came, and by Wine's.
    m_nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    m_nid.hWnd = nullptr;
    m_nid.uID = 1;
    m_nid.uFlags = NIF_MESSAGE;
    m_nid.uCallbackMessage = WM_TRAYNOTIFY;
}

CTrayDialog::~CTrayDialog()
{
    m_menu.DestroyMenu();
}

BOOL CTrayDialog::OnInitDialog()
{
    // A dialog procedure never sees WM_CREATE, so the record learns its
    // window here, before anything can add the icon.
    m_nid.hWnd = m_hWnd;
    m_nid.uID = 1;
    m_nTaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    AllowTaskbarCreated();
    return CDialog::OnInitDialog();
}

void CTrayDialog::AllowTaskbarCreated()
{
    // Started with raised rights, the program would never hear from a new
    // Explorer running with the user's: let that one message through. The
    // call exists from Windows 7 on, so it is looked up rather than linked.
    typedef BOOL(WINAPI * ChangeFilterFn)(HWND, UINT, DWORD, void*);
    const ChangeFilterFn pChangeFilter = reinterpret_cast<ChangeFilterFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    const DWORD dwAllow = 1; // MSGFLT_ALLOW
    if (pChangeFilter && m_nTaskbarCreatedMsg) pChangeFilter(m_hWnd, m_nTaskbarCreatedMsg, dwAllow, nullptr);
}

BOOL CTrayDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (m_nTaskbarCreatedMsg && message == m_nTaskbarCreatedMsg) {
        OnTaskbarCreated();
        if (pResult) *pResult = 0;
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

void CTrayDialog::OnTaskbarCreated()
{
    if (!m_bIconShown) return;
    // The flag stays set whatever happens: the dialog is still hidden, and
    // the next taskbar that starts tries again. A shell that kept the icon
    // refuses the add; then the record is given to it anew.
    if (!Shell_NotifyIconA(NIM_ADD, &m_nid)) Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

HICON CTrayDialog::SetTrayIcon(UINT nResourceID)
{
    return SetTrayIcon(MAKEINTRESOURCEA(LOWORD(nResourceID)));
}

HICON CTrayDialog::SetTrayIcon(LPCTSTR lpszResourceName)
{
    HICON hIcon =
        static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), lpszResourceName, IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (hIcon) SetTrayIcon(hIcon);
    return hIcon;
}

void CTrayDialog::SetTrayIcon(HICON hIcon)
{
    m_nid.hIcon = hIcon;
    m_nid.uFlags |= NIF_ICON;
}

void CTrayDialog::SetTrayTip(LPCTSTR lpszTip)
{
    lstrcpynA(m_nid.szTip, lpszTip ? lpszTip : "", sizeof m_nid.szTip);
    m_nid.uFlags |= NIF_TIP;
}

BOOL CTrayDialog::SetTrayMenu(UINT nResourceID, UINT nDefaultPos)
{
    return SetTrayMenu(MAKEINTRESOURCEA(LOWORD(nResourceID)), nDefaultPos);
}

BOOL CTrayDialog::SetTrayMenu(LPCTSTR lpszMenuName, UINT)
{
    HMENU hMenu = LoadMenuA(AfxGetResourceHandle(), lpszMenuName);
    if (!hMenu) return FALSE;
    return SetTrayMenu(hMenu);
}

BOOL CTrayDialog::SetTrayMenu(HMENU hMenu, UINT)
{
    m_menu.DestroyMenu();
    m_menu.Attach(hMenu);
    return TRUE;
}

BOOL CTrayDialog::AddTrayIcon()
{
    if (m_bIconShown) return FALSE;
    BOOL b = Shell_NotifyIconA(NIM_ADD, &m_nid);
    if (b) m_bIconShown = TRUE;
    return b;
}

BOOL CTrayDialog::RemoveTrayIcon()
{
    if (!m_bIconShown) return FALSE;
    BOOL b = Shell_NotifyIconA(NIM_DELETE, &m_nid);
    if (b) m_bIconShown = FALSE;
    return b;
}

BOOL CTrayDialog::ModifyTrayIcon()
{
    if (!m_bIconShown) return FALSE;
    return Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

BOOL CTrayDialog::ShowTrayBalloon(LPCTSTR lpszTitle, LPCTSTR lpszText)
{
    if (!m_bIconShown) return FALSE;
    ++m_nBalloons;
    m_strLastBalloon = lpszText ? lpszText : "";
    lstrcpynA(m_nid.szInfoTitle, lpszTitle ? lpszTitle : "", sizeof m_nid.szInfoTitle);
    lstrcpynA(m_nid.szInfo, lpszText ? lpszText : "", sizeof m_nid.szInfo);
    m_nid.uTimeout = 15000;
    m_nid.dwInfoFlags = NIIF_INFO;
    m_nid.uFlags |= NIF_INFO;
    BOOL b = Shell_NotifyIconA(NIM_MODIFY, &m_nid);
    // Shown once: a later change of the tip, or the icon put back by a new
    // taskbar, must not bring the same balloon up again.
    m_nid.uFlags &= ~NIF_INFO;
    m_nid.szInfo[0] = '\0';
    m_nid.szInfoTitle[0] = '\0';
    return b;
}

void CTrayDialog::OnDestroy()
{
    CWnd::OnDestroy();
    // The icon never outlives the window it reports to.
    if (m_nid.hWnd && m_nid.uID > 0 && m_bIconShown) {
        if (Shell_NotifyIconA(NIM_DELETE, &m_nid)) m_bIconShown = FALSE;
    }
}

void CTrayDialog::OnSysCommand(UINT nID, LPARAM lParam)
{
    UINT nCmd = nID & 0xFFF0;
    if (m_bMinimizeToTray && (nCmd == SC_CLOSE || nCmd == SC_MINIMIZE)) {
        // Swallowed either way: this dialog is never closed or minimised.
        if (AddTrayIcon()) ShowWindow(SW_HIDE);
        return;
    }
    CWnd::OnSysCommand(nID, lParam);
}

void CTrayDialog::OnTrayLButtonDblClk(POINT)
{
    if (m_bMinimizeToTray && RemoveTrayIcon()) ShowWindow(SW_SHOW);
}

void CTrayDialog::OnTrayRButtonDown(POINT point)
{
    CMenu* pPopup = m_menu.GetSubMenu(0);
    if (!pPopup) return;
    // The owner must be the foreground window, or the menu stays open when
    // the user clicks elsewhere.
    SetForegroundWindow(m_hWnd);
    pPopup->TrackPopupMenu(TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
    PostMessage(WM_NULL);
    pPopup->SetDefaultItem(m_nDefaultItem, TRUE);
}

LRESULT CTrayDialog::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != 1) return 0;
    POINT pt;
    GetCursorPos(&pt);
    switch (LOWORD(lParam)) {
    case WM_MOUSEMOVE: OnTrayMouseMove(pt); break;
    case WM_LBUTTONDOWN: OnTrayLButtonDown(pt); break;
    case WM_LBUTTONDBLCLK: OnTrayLButtonDblClk(pt); break;
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU: OnTrayRButtonDown(pt); break;
    case WM_RBUTTONDBLCLK: OnTrayRButtonDblClk(pt); break;
    default: break;
    }
    return 0;
}
