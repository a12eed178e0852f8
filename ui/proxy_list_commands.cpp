// The settings dialog's proxy list and tester commands: "Update Proxy List
// Now", choosing an entry in the combo box, and "Add New Proxy". Each shows
// what the routine found through the one message-box function.
#include "ui/settings_dlg.h"

#include "browser/connection_options.h"
#include "framework/win/message_box.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_tester.h"
#include "proxylist/vendor_server.h"
#include "registry/reg_string_value.h"
#include "settings/add_proxy_dlg.h"
#include "settings/settings_store.h"

namespace {

// Tests one entry after the notice and shows what came out. TRUE when the
// proxy answered.
BOOL TestAndReport(LPCTSTR pszEntry, HWND hWndOwner)
{
    AfxMessageBox(PROXY_TESTING_TEXT, MB_OK, nullptr, hWndOwner);
    CProxyTestReport report;
    BOOL bAvailable = TestProxyEntry(pszEntry, GetSpeedSampleUrl(g_regUpdateServer.Get()), report);
    AfxMessageBox(report.strText, MB_OK, report.strCaption, hWndOwner);
    return bAvailable;
}

} // namespace

BOOL CSettingsDlg::CheckProxyReachable(LPCTSTR pszHost, int nPort)
{
    return ::CheckProxyReachable(pszHost, nPort, m_hWnd);
}

ProxyListUpdateResult CSettingsDlg::RefreshProxyList(CString& strText)
{
    // Straight to the vendor, not through the local proxy.
    DisableConnectionProxy(g_pszConnectionName);

    CStringList entries;
    CString strDetail;
    ProxyListUpdateResult result =
        UpdateProxyList(GetProxyListUrl(g_regUpdateServer.Get()), ProxyListFilePath(g_strAppPath), entries, &strDetail);
    // A failed update keeps the old list, in the file and in the combo box.
    if (result == PROXY_LIST_UPDATED) FillProxyCombo(entries);
    if (result != PROXY_LIST_FILE_FAILED) m_proxyGenThread.Start(g_regUpdateServer.Get());
    strText = GetProxyListUpdateText(result);
    if (result == PROXY_LIST_FILE_FAILED && !strDetail.IsEmpty()) strText += "\r\n" + strDetail;
    return result;
}

void CSettingsDlg::OnUpdateProxyList()
{
    CString text;
    ProxyListUpdateResult result = RefreshProxyList(text);
    AfxMessageBox(text, MB_OK, GetProxyListUpdateCaption(result), m_hWnd);
}

void CSettingsDlg::OnSelchangeProxyCombo()
{
    UpdateData(FALSE);
    int nSel = m_comboProxy.GetCurSel();
    if (nSel == CB_ERR) return;
    CString strEntry;
    m_comboProxy.GetLBText(nSel, strEntry);
    if (strEntry.IsEmpty()) return;
    TestAndReport(strEntry, m_hWnd);
}

void CSettingsDlg::OnAddNewProxy()
{
    CAddProxyDlg dlg(this);
    if (dlg.DoModal() != 0) return;
    CRegStringValue regTmpProxy(CLOAKWALL_SETTINGS_KEY "\\TMPProxy", "", FALSE, HKEY_LOCAL_MACHINE);
    CString strEntry = regTmpProxy.Get();
    if (strEntry.IsEmpty()) return;

    AfxMessageBox(PROXY_TESTING_TEXT, MB_OK, nullptr, m_hWnd);
    CProxyTestReport report;
    if (TestProxyEntry(strEntry, GetSpeedSampleUrl(g_regUpdateServer.Get()), report))
        m_comboProxy.SetWindowText(strEntry); // the edit field only, not the list
    AfxMessageBox(report.strText, MB_OK, report.strCaption, m_hWnd);
}
