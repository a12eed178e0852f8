// CRegStringValue: one text setting, written as REG_SZ, read from any type.
// Used by one thread at a time (the user-interface thread for the global
// settings, the thread that made it for short-lived ones).
#pragma once

#include "registry/reg_value.h"

class CRegStringValue : public CRegValue {
public:
    CRegStringValue(LPCTSTR pszFullPath, LPCTSTR pszDefault, BOOL bForce, HKEY hRoot);

    CString Get();
    // Writes when the text differs (case-sensitively) from the cache, when
    // force is on, and while nothing has been read or written yet. A write
    // the registry refuses leaves the cache as it was.
    CRegStringValue& Set(LPCTSTR pszValue);
    // TRUE when the last Set wrote and the registry refused it; a Set that
    // had nothing to write clears it.
    BOOL LastSetFailed() const { return m_bLastSetFailed; }
    // The stored text up to its first zero byte (all of it when there is
    // none), or the default when it cannot be read.
    CString Read();
    // Stores the cache with its terminating zero byte; the empty text is a
    // REG_SZ of one zero byte, never a deleted value.
    void Write();

    BOOL IsRead() const { return m_bRead; }
    const CString& GetDefault() const { return m_strDefault; }

private:
    // Stores the text and sets the read flag when the registry took it.
    BOOL Store(const CString& strValue);

    CString m_strCache;
    CString m_strDefault;
    BOOL m_bRead;
    BOOL m_bForce;
    BOOL m_bLastSetFailed;
};
