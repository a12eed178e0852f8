// CAddProxyDlg: the entry is stored as typed; the tester decides whether it
// is any good.
#include "settings/add_proxy_dlg.h"

#include "framework/win/message_box.h"
#include "res/resource.h"
#include "settings/proxy_account_settings.h"
#include "settings/settings_store.h"

CAddProxyDlg::CAddProxyDlg(CWnd* pParent) : CDialog(IDD_ADDPROXY_DIALOG, pParent)
{
}

void CAddProxyDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_NEWPROXY, m_strProxy);
}

void CAddProxyDlg::OnOK()
{
    UpdateData(TRUE);
    if (m_strProxy.IsEmpty()) {
        AfxMessageBox("Please enter a proxy address", MB_OK, "WARNING", m_hWnd);
        // Nothing was entered, so there is nothing to test: an older
        // TMPProxy must not be tested in its place.
        EndDialog(IDCANCEL);
        return;
    }
    // Without its password, which goes to the credential store.
    StoreTmpProxy(m_strProxy);
    EndDialog(0);
}
