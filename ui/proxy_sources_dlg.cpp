// CProxySourcesDlg: the settings it edits, and the user's own proxies it adds.
#include "ui/proxy_sources_dlg.h"

#include "framework/win/message_box.h"
#include "proxylist/proxy_entry.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_sources_update.h"
#include "res/resource.h"
#include "settings/settings_store.h"

#include <commdlg.h>

BEGIN_MESSAGE_MAP(CProxySourcesDlg, CDialog)
    ON_COMMAND(IDC_IMPORTPROXIES, OnImportFile)
    ON_COMMAND(IDC_PASTEPROXIES, OnPaste)
END_MESSAGE_MAP()

CProxySourcesDlg::CProxySourcesDlg(CWnd* pParent) : CDialog(IDD_SOURCES_DIALOG, pParent)
{
    CStringList sources;
    g_regProxySources.Get(sources);
    for (POSITION pos = sources.GetHeadPosition(); pos;) m_strSources += sources.GetNext(pos) + "\r\n";
    m_strJudgeUrls = g_regJudgeUrl.Get();
    m_strBypass = g_regProxyBypass.Get();
}

void CProxySourcesDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_SOURCES, m_strSources);
    DDX_Text(pDX, IDC_JUDGEURLS, m_strJudgeUrls);
    DDX_Text(pDX, IDC_PROXYBYPASS, m_strBypass);
}

BOOL CProxySourcesDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CString strOwn;
    strOwn.Format("Your own proxies: %s", MyProxiesFilePath(g_strAppPath).GetString());
    ::SetDlgItemTextA(m_hWnd, IDC_MYPROXIESPATH, strOwn);
    return TRUE;
}

void CProxySourcesDlg::OnOK()
{
    UpdateData(TRUE);
    CStringList lines;
    AppendListEntries(m_strSources, lines);
    CStringList sources;
    for (POSITION pos = lines.GetHeadPosition(); pos;) {
        CString source = lines.GetNext(pos);
        source.Trim();
        if (!source.IsEmpty()) sources.AddTail(source);
    }
    m_strJudgeUrls.Trim();
    m_strBypass.Trim();
    BOOL bFailed = g_regProxySources.Set(sources).LastSetFailed();
    bFailed = g_regJudgeUrl.Set(m_strJudgeUrls).LastSetFailed() || bFailed;
    bFailed = g_regProxyBypass.Set(m_strBypass).LastSetFailed() || bFailed;
    if (bFailed) AfxMessageBox("The settings could not be stored.", MB_OK, "Error", m_hWnd);
    EndDialog(IDOK);
}

void CProxySourcesDlg::AddProxiesFrom(const CString& strText, BOOL bFromFile)
{
    CString strPath = MyProxiesFilePath(g_strAppPath);
    CProxySourceTally tally;
    int nAdded = 0;
    CString strError;
    if (!AddToMyProxies(strPath, strText, tally, nAdded, &strError)) {
        AfxMessageBox(strPath + ": " + strError, MB_OK, "Error", m_hWnd);
        return;
    }
    CString strSaid;
    if (tally.nFound == 0) {
        strSaid = bFromFile ? MY_PROXIES_NONE_IN_FILE_TEXT : MY_PROXIES_NONE_PASTED_TEXT;
    } else {
        strSaid = CountOf(nAdded, "proxy", "proxies") + " added to " + strPath + ".";
        if (tally.nDuplicates > 0) {
            CString more;
            more.Format("\r\n%d %s there already.", tally.nDuplicates, tally.nDuplicates == 1 ? "was" : "were");
            strSaid += more;
        }
    }
    if (tally.nSkipped > 0)
        strSaid += "\r\n" + CountOf(tally.nSkipped, "line", "lines") +
                   (tally.nSkipped == 1 ? " without a proxy was skipped." : " without a proxy were skipped.");
    AfxMessageBox(strSaid, MB_OK, "", m_hWnd);
}

void CProxySourcesDlg::OnImportFile()
{
    char szFile[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = "Proxy lists (*.txt;*.csv)\0*.txt;*.csv\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof szFile;
    ofn.lpstrTitle = "Import Proxies";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return;
    CString strText;
    BOOL bCut = FALSE;
    if (!ReadProxySourceFile(szFile, strText, bCut)) {
        AfxMessageBox(CString(szFile) + ": the file could not be read.", MB_OK, "Error", m_hWnd);
        return;
    }
    AddProxiesFrom(strText, TRUE);
}

void CProxySourcesDlg::OnPaste()
{
    CString strText;
    if (OpenClipboard(m_hWnd)) {
        if (HANDLE hData = GetClipboardData(CF_TEXT)) {
            if (const char* psz = static_cast<const char*>(GlobalLock(hData))) {
                strText = psz;
                GlobalUnlock(hData);
            }
        }
        CloseClipboard();
    }
    AddProxiesFrom(strText, FALSE);
}
