// The framework's one way to show a message box. Every user-facing message of
// the program goes through AfxMessageBox, so a test can install a hook that
// records the text and caption instead of blocking on a real window.
#pragma once

#include "framework/core/exceptions.h"

#include <windows.h>

// Receives every message box while installed; its result stands for the
// button the user pressed (IDOK, IDCANCEL, ...).
class CMessageBoxHook {
public:
    virtual ~CMessageBoxHook() = default;
    virtual int OnMessageBox(HWND hWndOwner, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) = 0;
};

// Installs a hook (nullptr removes it) and returns the one it replaces. The
// hook is process-wide and may be read from any thread.
CMessageBoxHook* AfxSetMessageBoxHook(CMessageBoxHook* pHook);

// Shows a message box owned by hWndOwner (none when NULL) and returns the
// button pressed. A null caption is the empty caption: the program's boxes
// name their caption themselves ("Error", "WARNING") or have none. A type
// without an icon gets the icon of its caption: error for "Error", warning
// for "WARNING", information for any other (the hook sees it too).
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, LPCTSTR lpszCaption = nullptr, HWND hWndOwner = nullptr);

// The framework's standard report of an exception nobody else handled: its
// own text (or a generic one) in a box with the caption "Error".
int AfxReportException(const CException* pException, UINT nType = MB_OK | MB_ICONEXCLAMATION, HWND hWndOwner = nullptr);
