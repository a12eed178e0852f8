// CInternetException and its text, taken from wininet.dll's message table.
#include "inet_exception.h"

#include <cstdio>

IMPLEMENT_DYNAMIC(CInternetException, CException)

BOOL CInternetException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) const
{
    if (pnHelpContext) *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0) return FALSE;
    lpszError[0] = '\0';

    DWORD n = 0;
    if (HMODULE hWinInet = GetModuleHandleA("wininet.dll"))
        n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, hWinInet, m_dwError, 0,
                           lpszError, nMaxError, nullptr);
    if (n == 0)
        n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, m_dwError, 0, lpszError,
                           nMaxError, nullptr);
    if (n == 0) {
        std::snprintf(lpszError, nMaxError, "Internet error %lu", static_cast<unsigned long>(m_dwError));
        return TRUE;
    }
    // Message tables end their texts with CR LF; a message box wants none.
    while (n > 0 && (lpszError[n - 1] == '\r' || lpszError[n - 1] == '\n' || lpszError[n - 1] == ' '))
        lpszError[--n] = '\0';
    return TRUE;
}

void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError)
{
    if (dwError == 0) dwError = GetLastError();
    throw new CInternetException(dwError, dwContext);
}
