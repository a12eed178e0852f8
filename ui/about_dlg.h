// CAboutDlg: the about box, opened from the settings dialog's system menu.
#pragma once

#include "framework/win/dialog.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* pParent = nullptr) : CDialog(IDD_ABOUTBOX, pParent) {}
};
