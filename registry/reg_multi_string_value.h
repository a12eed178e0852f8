// CRegMultiStringValue: a list of texts, written as REG_MULTI_SZ (each text
// ends with a zero byte, and one more ends the list). Used by one thread at
// a time, like the other typed values.
#pragma once

#include "framework/core/string_list.h"
#include "registry/reg_value.h"

class CRegMultiStringValue : public CRegValue {
public:
    // The nDefaults texts of ppszDefaults stand when the value is missing or
    // cannot be read.
    CRegMultiStringValue(LPCTSTR pszFullPath, const char* const* ppszDefaults, int nDefaults, BOOL bForce, HKEY hRoot);

    // Fills rValues with the cache once a read or write has succeeded (and force is off),
    // otherwise a fresh read.
    void Get(CStringList& rValues);
    // Writes when the list differs from the cache, when force is on, and
    // while nothing has been read or written yet. The empty texts of the
    // list are left out: REG_MULTI_SZ cannot hold them.
    CRegMultiStringValue& Set(const CStringList& values);
    BOOL LastSetFailed() const { return m_bLastSetFailed; }
    // Fills rValues with the stored texts (a REG_SZ value reads as a list of its one text), or
    // the default when the value cannot be read.
    void Read(CStringList& rValues);

    BOOL IsRead() const { return m_bRead; }

private:
    CStringList m_cache;
    CStringList m_defaults;
    BOOL m_bRead;
    BOOL m_bForce;
    BOOL m_bLastSetFailed;
};
