// CDialog: a dialog made from a resource template, run modally with a loop
// of its own or created modeless, with data exchange between its controls
// and its members (DoDataExchange, UpdateData, DDX_*).
#pragma once

#include "framework/core/cstring.h"
#include "framework/win/wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate; // TRUE: controls to members
    CWnd* m_pDlgWnd;
    HWND PrepareCtrl(int nIDC) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC); }
};

// Check box state <-> 0, 1 (or 2 for an indeterminate three-state box).
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// Window text <-> text.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Binds a control object to the dialog's control (once).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the dialog and runs its modal loop until EndDialog; the window
    // is destroyed before this returns. -1 when it could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless (for a caller with a loop of its own).
    BOOL Create(CWnd* pParentWnd = nullptr);
    // Ends the modal loop with a result; a modeless dialog only records it.
    void EndDialog(int nResult);
    int GetModalResult() const { return m_nModalResult; }

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    UINT GetTemplateId() const { return m_nIDTemplate; }

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

protected:
    virtual void DoDataExchange(CDataExchange* pDX) {}
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    BOOL m_bInModalLoop = FALSE;
    int m_nModalResult = -1;
};

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
