// CSettingsDlg: the program's one main window. A modal dialog that lives
// hidden behind the tray icon most of the time; it owns the local proxy and
// the two worker threads, shows the settings as check boxes and the
// upstream proxies in a combo box, and switches anonymous browsing.
#pragma once

#include "cleaner/privacy_cleaner_thread.h"
#include "cleaner/proxy_gen_request_thread.h"
#include "framework/core/string_list.h"
#include "framework/win/combo_box.h"
#include "proxy/local_proxy_server.h"
#include "proxylist/proxy_list_update.h"
#include "ui/tray_dialog.h"

// 1 until the system first minimises the dialog (which then stays on the
// taskbar); every later minimise hides it.
extern BOOL g_bFirstMinimize;

class CSettingsDlg : public CTrayDialog {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);
    ~CSettingsDlg() override;

    // Anonymous-browsing switch.
    BOOL ApplyStoredSettings();
    void OnOK() override;
    void OnToggleAnonymous();
    void OnUpdateToggleAnonymous(CCmdUI* pCmdUI);
    void OnExit();

    // Proxy list and tester commands.
    void OnUpdateProxyList();
    void OnSelchangeProxyCombo();
    void OnAddNewProxy();
    BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort);

    // Replaces the combo box's items with the entries of a list (each once),
    // keeping the text of its edit field.
    void FillProxyCombo(const CStringList& entries);

    void OnConfiguration();
    void OnCancel() override;
    BOOL OnInitDialog() override;

    // Destroyed in reverse: the local proxy first, then the two threads.
    int m_bEnabled;
    CPrivacyCleanerThread m_cleanerThread;
    CProxyGenRequestThread m_proxyGenThread;
    CLocalProxyServer m_proxyServer;
    CComboBox m_comboProxy;
    int m_bClearCookies;
    int m_bClearTmpFiles;
    int m_bDeleteAddresses;
    int m_bDeleteHistory;
    int m_bEnableActiveX;
    int m_bUseProxy;
    int m_bEnableJS;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnTimer(UINT_PTR nIDEvent);
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);

private:
    // The six check boxes' members from their settings.
    void ReadSwitchSettings();
    void DoFirstRun();
    // Downloads the proxy list straight from the vendor, keeps it and fills
    // the combo box when it has entries, and asks for the generator page
    // unless the list could not be kept. strText: what to tell the user.
    ProxyListUpdateResult RefreshProxyList(CString& strText);
    void RestartCleaner();
    // Browser at the local proxy, local proxy (re)started towards host:port.
    void SwitchOn(const CString& strHost, int nPort);
    // Browser direct, UseProxy 0, local proxy stopped.
    void SwitchOff();
};
