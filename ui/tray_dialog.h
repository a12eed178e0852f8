// CTrayDialog: a dialog with one icon in the notification area and a popup
// menu on it, that hides into the notification area instead of closing or
// minimising. While the dialog is hidden the icon is shown, and while the
// dialog is shown the icon is removed.
#pragma once

#include "framework/win/dialog.h"
#include "framework/win/menu.h"

#include <shellapi.h>

// The icon's callback message.
#define WM_TRAYNOTIFY (WM_USER + 1)

class CTrayDialog : public CDialog {
public:
    CTrayDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CTrayDialog() override;

    HICON SetTrayIcon(UINT nResourceID);
    HICON SetTrayIcon(LPCTSTR lpszResourceName);
    void SetTrayIcon(HICON hIcon);
    // At most 127 characters: the record has no room for more.
    void SetTrayTip(LPCTSTR lpszTip);
    BOOL SetTrayMenu(UINT nResourceID, UINT nDefaultPos = 0);
    BOOL SetTrayMenu(LPCTSTR lpszMenuName, UINT nDefaultPos = 0);
    BOOL SetTrayMenu(HMENU hMenu, UINT nDefaultPos = 0);

    BOOL AddTrayIcon();
    BOOL RemoveTrayIcon();
    BOOL ModifyTrayIcon();
    // A balloon from the icon: a title of at most 63 characters and a text
    // of at most 255 (longer ones are cut). FALSE when the icon is not shown
    // (the dialog is on screen) or the shell refused it.
    BOOL ShowTrayBalloon(LPCTSTR lpszTitle, LPCTSTR lpszText);
    // The balloons handed to the shell so far, and the text of the last:
    // the record itself forgets a balloon once it is shown.
    int GetBalloonCount() const { return m_nBalloons; }
    const CString& GetLastBalloonText() const { return m_strLastBalloon; }
    BOOL IsTrayIconShown() const { return m_bIconShown; }
    void SetMinimizeToTray(BOOL bMinimize) { m_bMinimizeToTray = bMinimize; }

    CMenu& GetTrayMenu() { return m_menu; }
    const NOTIFYICONDATAA& GetTrayRecord() const { return m_nid; }

    virtual void OnTrayLButtonDown(POINT point) {}
    virtual void OnTrayLButtonDblClk(POINT point);
    virtual void OnTrayRButtonDown(POINT point);
    virtual void OnTrayRButtonDblClk(POINT point) {}
    virtual void OnTrayMouseMove(POINT point) {}

    BOOL OnInitDialog() override;
    // Catches the shell's "TaskbarCreated", whose number is known only at
    // run time and so cannot stand in the message map.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    DECLARE_MESSAGE_MAP()

protected:
    // A new taskbar (Explorer restarted) knows no icons: puts ours back,
    // tip included, when the dialog is hidden in the tray.
    void OnTaskbarCreated();
    void AllowTaskbarCreated();

    void OnDestroy();
    void OnSysCommand(UINT nID, LPARAM lParam);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);

    BOOL m_bMinimizeToTray;
    BOOL m_bIconShown;
    NOTIFYICONDATAA m_nid;
    CMenu m_menu;
    UINT m_nDefaultItem;
    UINT m_nTaskbarCreatedMsg;
    int m_nBalloons = 0;
    CString m_strLastBalloon;
};
