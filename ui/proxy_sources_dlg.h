// CProxySourcesDlg: the small dialog behind "Proxy Sources...": the lists
// the proxy list is read from, the judges, the addresses the browser
// reaches directly, and the user's own proxies brought in from a file or
// the clipboard.
#pragma once

#include "framework/core/cstring.h"
#include "framework/win/dialog.h"

// What the import and the paste say when the text held no proxy.
#define MY_PROXIES_NONE_IN_FILE_TEXT "No proxy address was found in the file."
#define MY_PROXIES_NONE_PASTED_TEXT "No proxy address was found in the pasted text."

class CProxySourcesDlg : public CDialog {
public:
    explicit CProxySourcesDlg(CWnd* pParent = nullptr);

    // OK stores the three settings (ProxySources one per line, JudgeUrl and
    // ProxyBypass as typed) and ends the dialog with IDOK.
    void OnOK() override;
    BOOL OnInitDialog() override;

    // "Import File...": a file chosen in the common file dialog; "Paste":
    // the text on the clipboard. Both add what they find to myproxies.txt
    // beside the list and say how many.
    void OnImportFile();
    void OnPaste();
    // The part both share; public for the test that has no clipboard or
    // file dialog to hand.
    // bFromFile: the text is an imported file's, else the clipboard's. Says
    // "1 proxy added to ...", "2 were there already", "1 line ... was
    // skipped", counts in the singular when they are one.
    void AddProxiesFrom(const CString& strText, BOOL bFromFile);

    CString m_strSources; // one per line, CR LF between them
    CString m_strJudgeUrls;
    CString m_strBypass;

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
