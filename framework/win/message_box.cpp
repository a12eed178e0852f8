// AfxMessageBox over MessageBoxA, with the hook tests use in its place.
#include "message_box.h"

#include <atomic>

namespace {

std::atomic<CMessageBoxHook*> g_pMessageBoxHook{nullptr};

} // namespace

CMessageBoxHook* AfxSetMessageBoxHook(CMessageBoxHook* pHook)
{
    return g_pMessageBoxHook.exchange(pHook);
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, LPCTSTR lpszCaption, HWND hWndOwner)
{
    LPCTSTR text = lpszText ? lpszText : "";
    LPCTSTR caption = lpszCaption ? lpszCaption : "";
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
