// AfxMessageBox over MessageBoxA, with the hook tests use in its place.
#include "message_box.h"

#include <atomic>

namespace {

std::atomic<CMessageBoxHook*> g_pMessageBoxHook{nullptr};

// The program names its boxes by their caption: "Error" (or "ERROR") for a
// failure, "WARNING" for a warning, none for information. A box that asks
// for no icon gets the one its caption calls for.
UINT WithIconOfCaption(UINT nType, LPCTSTR pszCaption)
{
    if (nType & MB_ICONMASK) return nType;
    if (lstrcmpiA(pszCaption, "Error") == 0) return nType | MB_ICONERROR;
    if (lstrcmpiA(pszCaption, "Warning") == 0) return nType | MB_ICONWARNING;
    return nType | MB_ICONINFORMATION;
}

} // namespace

CMessageBoxHook* AfxSetMessageBoxHook(CMessageBoxHook* pHook)
{
    return g_pMessageBoxHook.exchange(pHook);
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, LPCTSTR lpszCaption, HWND hWndOwner)
{
    LPCTSTR text = lpszText ? lpszText : "";
    LPCTSTR caption = lpszCaption ? lpszCaption : "";
    nType = WithIconOfCaption(nType, caption);
    if (CMessageBoxHook* pHook = g_pMessageBoxHook.load()) return pHook->OnMessageBox(hWndOwner, text, caption, nType);
    return MessageBoxA(hWndOwner, text, caption, nType);
}

int AfxReportException(const CException* pException, UINT nType, HWND hWndOwner)
{
    char text[512] = "";
    if (!pException || !pException->GetErrorMessage(text, sizeof text) || !text[0])
        lstrcpynA(text, "An unexpected error occurred.", sizeof text);
    return AfxMessageBox(text, nType, "Error", hWndOwner);
}
