// CComboBox: the few combo-box messages the program sends.
#pragma once

#include "framework/core/cstring.h"
#include "framework/win/wnd.h"

class CComboBox : public CWnd {
public:
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    BOOL GetDroppedState() const { return (BOOL)SendMessage(CB_GETDROPPEDSTATE); }
    int SetCurSel(int nSelect) { return (int)SendMessage(CB_SETCURSEL, nSelect); }
    int AddString(LPCTSTR psz) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)psz); }
    int InsertString(int nIndex, LPCTSTR psz) { return (int)SendMessage(CB_INSERTSTRING, nIndex, (LPARAM)psz); }
    int DeleteString(UINT nIndex) { return (int)SendMessage(CB_DELETESTRING, nIndex); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int FindStringExact(int nIndexStart, LPCTSTR psz) const
    {
        return (int)SendMessage(CB_FINDSTRINGEXACT, (WPARAM)nIndexStart, (LPARAM)psz);
    }
    void GetLBText(int nIndex, CString& rString) const
    {
        int n = (int)SendMessage(CB_GETLBTEXTLEN, nIndex);
        if (n < 0) {
            rString.Empty();
            return;
        }
        LPTSTR p = rString.GetBuffer(n + 1);
        int got = (int)SendMessage(CB_GETLBTEXT, nIndex, (LPARAM)p);
        rString.ReleaseBuffer(got > 0 ? got : 0);
    }
};
