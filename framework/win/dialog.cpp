// CDialog: creation from templates, the modal loop, the dialog procedure
// that feeds the message maps, and data exchange.
#include "framework/win/dialog.h"

#include "framework/win/win_app.h"

CWnd* AfxObjectOfWindow(HWND hWnd)
{
    // Only our dialogs run AfxDlgProc; any other window's DWLP_USER belongs
    // to someone else.
    if (!hWnd || !IsWindow(hWnd)) return nullptr;
    if (reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hWnd, DWLP_DLGPROC)) != AfxDlgProc) return nullptr;
    return reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, DWLP_USER));
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hCtl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(hCtl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(hCtl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        int n = ::GetWindowTextLengthA(hCtl);
        LPTSTR p = value.GetBuffer(n + 1);
        int got = ::GetWindowTextA(hCtl, p, n + 1);
        value.ReleaseBuffer(got > 0 ? got : 0);
    } else {
        ::SetWindowTextA(hCtl, value);
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (!rControl.m_hWnd) rControl.Attach(pDX->PrepareCtrl(nIDC));
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOKCommand)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog() = default;

BOOL CDialog::Create(CWnd* pParentWnd)
{
    if (pParentWnd) m_pParentWnd = pParentWnd;
    m_nModalResult = -1;
    HWND h =
        CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                           m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, AfxDlgProc, reinterpret_cast<LPARAM>(this));
    return h != nullptr;
}

INT_PTR CDialog::DoModal()
{
    // A loop of our own around a modeless dialog, because a dialog run by
    // DialogBoxParam and hidden by its first timer tick is shown again by
    // Wine at the first idle moment: the settings dialog must stay hidden.
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!Create()) return -1;
    // A template without WS_VISIBLE is shown here, as DialogBox would; one
    // with it is already visible and may hide itself later on.
    if (!IsWindowVisible()) ShowWindow(SW_SHOW);
    BOOL bParentEnabled = hParent && IsWindowEnabled(hParent);
    if (bParentEnabled) EnableWindow(hParent, FALSE);

    m_bInModalLoop = TRUE;
    MSG msg;
    while (m_bInModalLoop) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            // Someone asked the thread to quit: pass it on to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (r < 0) break;
        if (!m_hWnd || !IsDialogMessageA(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_bInModalLoop = FALSE;

    if (bParentEnabled) {
        EnableWindow(hParent, TRUE);
        SetActiveWindow(hParent);
    }
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_bInModalLoop) {
        m_bInModalLoop = FALSE;
        if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0); // wake the loop
    }
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
        pDlg->m_hWnd = hWnd;
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        return pDlg->OnInitDialog();
    }
    CWnd* pWnd = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!pWnd) return FALSE;

    LRESULT lResult = 0;
    BOOL bHandled = pWnd->OnWndMsg(message, wParam, lParam, &lResult);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pWnd->m_hWnd = nullptr;
    }
    if (!bHandled) return FALSE;
    switch (message) {
    // These answer through the procedure's own result.
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM: return static_cast<INT_PTR>(lResult);
    default: SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult); return TRUE;
    }
}
