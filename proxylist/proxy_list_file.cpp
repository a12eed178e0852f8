// Reading and replacing the proxy list file.
#include "proxy_list_file.h"

#include "framework/core/file.h"
#include "framework/core/file_system.h"
#include "proxy_entry.h"

namespace {

CString ExceptionText(const CException* e)
{
    char text[512] = "";
    if (!e->GetErrorMessage(text, sizeof text)) return CString("The proxy list file could not be written");
    return CString(text);
}

} // namespace

CString ProxyListFilePath(LPCTSTR pszAppFolder)
{
    CString path(pszAppFolder);
    if (!path.IsEmpty() && path[path.GetLength() - 1] != '\\' && path[path.GetLength() - 1] != '/') path += '\\';
    return path + PROXY_LIST_FILE_NAME;
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
    CString strTemp = CString(pszPath) + ".new";
    CStdioFile file;
    CFileException error;
    if (!file.Open(strTemp, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeText, &error)) {
        if (pstrError) *pstrError = ExceptionText(&error);
        return FALSE;
    }
    try {
        for (POSITION pos = entries.GetHeadPosition(); pos;) {
            const CString& entry = entries.GetNext(pos);
            file.Write(entry.GetString(), static_cast<UINT>(entry.GetLength()));
            file.Write("\n", 1);
        }
        file.Close();
    } catch (CException* e) {
        if (pstrError) *pstrError = ExceptionText(e);
        e->Delete();
        file.Abort();
        CwRemoveFile(strTemp);
        return FALSE;
    }
    if (!CwReplaceFile(strTemp, pszPath)) {
        if (pstrError) *pstrError = "The proxy list file could not be replaced";
        CwRemoveFile(strTemp);
        return FALSE;
    }
    return TRUE;
}
