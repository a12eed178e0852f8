// CRegValue: the common part of every typed registry value - the root key and
// the full path split into key path and value name - plus the open/create
// steps its members share. Each read or write opens and closes the key itself.
#pragma once

#include "framework/core/cstring.h"

#include <windows.h>

#include <vector>

class CRegValue {
public:
    CRegValue(LPCTSTR pszFullPath, HKEY hRoot);
    ~CRegValue() = default;

    CRegValue(const CRegValue&) = delete;
    CRegValue& operator=(const CRegValue&) = delete;

    HKEY GetRoot() const { return m_hRoot; }
    const CString& GetKeyPath() const { return m_strKeyPath; }
    const CString& GetValueName() const { return m_strValueName; }

    // Splits a full path the way every member does at construction: leading
    // backslashes dropped, the last backslash separates key path and value
    // name, trailing backslashes of the key path and leading ones of the
    // name dropped. No backslash at all binds the name to the root itself.
    static void SplitPath(LPCTSTR pszFullPath, CString& strKeyPath, CString& strValueName);

protected:
    // The handle lives only for the one call that opened it, on that call's
    // stack: a DWORD value may be read from a relay thread while the
    // user-interface thread writes it, so no handle is kept in the object.
    BOOL OpenForRead(HKEY& hKey) const;
    BOOL CreateForWrite(HKEY& hKey) const;

    // Queries the value straight into a buffer of cbData bytes; shorter data
    // fills only its own bytes, longer data fails.
    BOOL QueryFixed(void* pData, DWORD cbData) const;
    // The two-step read of strings, rectangles and points: learn the size,
    // allocate that much, fill it. Any registry type is accepted.
    BOOL QueryBlock(std::vector<BYTE>& block) const;
    BOOL SetData(DWORD dwType, const void* pData, DWORD cbData) const;

private:
    HKEY m_hRoot;
    CString m_strValueName;
    CString m_strKeyPath;
};
