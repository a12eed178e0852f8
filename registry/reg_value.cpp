// CRegValue: path splitting and the open/query/create/set steps shared by the
// typed registry values. Errors never leave here as anything but FALSE.
#include "registry/reg_value.h"

CRegValue::CRegValue(LPCTSTR pszFullPath, HKEY hRoot) : m_hRoot(hRoot)
{
    SplitPath(pszFullPath, m_strKeyPath, m_strValueName);
}

void CRegValue::SplitPath(LPCTSTR pszFullPath, CString& strKeyPath, CString& strValueName)
{
    CString strPath(pszFullPath);
    strPath.TrimLeft("\\");

    int nLast = strPath.ReverseFind('\\');
    if (nLast < 0) {
        strKeyPath.Empty();
        strValueName = strPath;
        return;
    }
    strKeyPath = strPath.Left(nLast);
    strKeyPath.TrimRight("\\");
    strValueName = strPath.Mid(nLast);
    strValueName.TrimLeft("\\");
}

BOOL CRegValue::OpenForRead(HKEY& hKey) const
{
    hKey = NULL;
    return RegOpenKeyExA(m_hRoot, m_strKeyPath, 0, KEY_READ, &hKey) == ERROR_SUCCESS;
}

BOOL CRegValue::CreateForWrite(HKEY& hKey) const
{
    hKey = NULL;
    char szClass[] = "";
    return RegCreateKeyExA(m_hRoot, m_strKeyPath, 0, szClass, 0, KEY_WRITE, NULL, &hKey, NULL) == ERROR_SUCCESS;
}

BOOL CRegValue::QueryFixed(void* pData, DWORD cbData) const
{
    HKEY hKey;
    if (!OpenForRead(hKey)) return FALSE;
    DWORD cb = cbData;
    LONG lResult = RegQueryValueExA(hKey, m_strValueName, NULL, NULL, static_cast<BYTE*>(pData), &cb);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL CRegValue::QueryBlock(std::vector<BYTE>& block) const
{
    HKEY hKey;
    if (!OpenForRead(hKey)) return FALSE;

    // The first query only sizes the block; when it fails the size stays 0
    // and the second query decides.
    DWORD cb = 0;
    if (RegQueryValueExA(hKey, m_strValueName, NULL, NULL, NULL, &cb) != ERROR_SUCCESS) cb = 0;
    // One spare byte so the buffer pointer is never null for empty data.
    block.assign(static_cast<size_t>(cb) + 1, 0);
    LONG lResult = RegQueryValueExA(hKey, m_strValueName, NULL, NULL, block.data(), &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS) return FALSE;
    block.resize(cb);
    return TRUE;
}

BOOL CRegValue::SetData(DWORD dwType, const void* pData, DWORD cbData) const
{
    HKEY hKey;
    if (!CreateForWrite(hKey)) return FALSE;
    LONG lResult = RegSetValueExA(hKey, m_strValueName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}
