// CInternetException: what the internet classes throw when a WinINet call
// fails. Thrown as a pointer like the framework's other exceptions; the
// catcher calls Delete().
#pragma once

#include "framework/core/exceptions.h"

#include <windows.h>

class CInternetException : public CException {
    DECLARE_DYNAMIC(CInternetException)
public:
    explicit CInternetException(DWORD dwError, DWORD_PTR dwContext = 0) : m_dwError(dwError), m_dwContext(dwContext) {}

    // WinINet's own text for the error when it has one, else the system's,
    // else "Internet error <code>".
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Throws a CInternetException; an error of 0 takes GetLastError().
[[noreturn]] void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError = 0);
