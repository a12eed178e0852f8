// CAddProxyDlg: the small dialog behind "Add New Proxy". Its OK stores the
// typed entry in the TMPProxy setting, from where the settings dialog's add
// command takes it to the tester.
#pragma once

#include "framework/core/cstring.h"
#include "framework/win/dialog.h"

class CAddProxyDlg : public CDialog {
public:
    explicit CAddProxyDlg(CWnd* pParent = nullptr);

    // DoModal gives 0 when an entry was stored, IDCANCEL when the user
    // cancelled or left the field empty (nothing to test then).
    void OnOK() override;

    CString m_strProxy;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
