// CRegRectValue and CRegPointValue: a rectangle (16 bytes) or a point
// (8 bytes) of signed 32-bit little-endian numbers, written as REG_BINARY.
// Data shorter than the record is a failed read; longer data gives its
// first bytes. Both are one cached record of numbers, so they share it.
#pragma once

#include "registry/reg_value.h"

// A record of N signed 32-bit numbers (TRecord: RECT or POINT) with a cached
// Get and a Set that writes through; TValue is the class built on it, which
// Set returns.
template <class TValue, class TRecord, int N>
class CRegIntRecordValue : public CRegValue {
public:
    CRegIntRecordValue(LPCTSTR pszFullPath, const TRecord& recDefault, BOOL bForce, HKEY hRoot);

    // The cache once a read or write has succeeded (and force is off),
    // otherwise a fresh read.
    TRecord Get();
    // Writes when the record differs from the cache, when force is on, and
    // while nothing has been read or written yet.
    TValue& Set(const TRecord& recValue);
    // The stored record, or the default when it cannot be read.
    TRecord Read();
    void Write();

    BOOL IsRead() const { return m_bRead; }

private:
    TRecord m_recCache;
    TRecord m_recDefault;
    BOOL m_bRead;
    BOOL m_bForce;
};

class CRegRectValue : public CRegIntRecordValue<CRegRectValue, RECT, 4> {
public:
    using CRegIntRecordValue::CRegIntRecordValue;
};

class CRegPointValue : public CRegIntRecordValue<CRegPointValue, POINT, 2> {
public:
    using CRegIntRecordValue::CRegIntRecordValue;
};
