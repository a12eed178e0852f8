// Reading and replacing the proxy list file.
#include "proxy_list_file.h"

#include "framework/core/file.h"
#include "framework/core/file_system.h"
#include "proxy_account.h"
#include "proxy_entry.h"
#include "proxy_sources.h"

#include <string>

CString ProxyListFilePath(LPCTSTR pszAppFolder)
{
    CString path(pszAppFolder);
    if (!path.IsEmpty() && path[path.GetLength() - 1] != '\\' && path[path.GetLength() - 1] != '/') path += '\\';
    return path + PROXY_LIST_FILE_NAME;
}

CString MyProxiesFilePath(LPCTSTR pszAppFolder)
{
    CString path = ProxyListFilePath(pszAppFolder);
    return path.Left(path.GetLength() - static_cast<int>(sizeof PROXY_LIST_FILE_NAME - 1)) + MY_PROXIES_FILE_NAME;
}

BOOL ReadProxyListFile(LPCTSTR pszPath, CStringList& rEntries)
{
    CStdioFile file;
    if (!file.Open(pszPath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText)) return FALSE;
    CString text;
    try {
        char buffer[4096];
        for (UINT n; (n = file.Read(buffer, sizeof buffer)) > 0;) text.Append(buffer, static_cast<int>(n));
        file.Close();
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        return FALSE;
    }
    AppendListEntries(text, rEntries);
    return TRUE;
}

BOOL WriteProxyListFile(LPCTSTR pszPath, const CStringList& entries, CString* pstrError)
{
    // The disk form of text mode: one CR LF after each entry. An entry's
    // password goes to the credential store, never into the file; one the
    // store refuses is left out all the same and lasts for this run only.
    std::string text;
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        CString strStored;
        KeepProxyPassword(entries.GetNext(pos), strStored);
        text += strStored.str();
        text += "\r\n";
    }
    return CwReplaceFileContents(pszPath, text.data(), text.size(), pstrError);
}

BOOL MoveListFilePasswords(LPCTSTR pszPath)
{
    CStringList entries;
    if (!ReadProxyListFile(pszPath, entries)) return TRUE; // no file, nothing to move
    BOOL bHeld = FALSE;
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        const CString& entry = entries.GetNext(pos);
        if (ProxyEntryWithoutPassword(entry) == entry) continue;
        CString strStored;
        // The file is the only copy: it keeps its passwords until the store
        // has taken every one of them.
        if (!KeepProxyPassword(entry, strStored)) return FALSE;
        bHeld = TRUE;
    }
    return bHeld ? WriteProxyListFile(pszPath, entries) : TRUE;
}
