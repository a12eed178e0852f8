// CRegRectValue and CRegPointValue: a rectangle (16 bytes) or a point
// (8 bytes) of signed 32-bit little-endian numbers, written as REG_BINARY.
// Data shorter than the record is a failed read; longer data gives its
// first bytes.
#pragma once

#include "registry/reg_value.h"

class CRegRectValue : public CRegValue {
public:
    CRegRectValue(LPCTSTR pszFullPath, const RECT& rcDefault, BOOL bForce, HKEY hRoot);

    RECT Get();
    CRegRectValue& Set(const RECT& rcValue);
    RECT Read();
    void Write();

    BOOL IsRead() const { return m_bRead; }

private:
    RECT m_rcCache;
    RECT m_rcDefault;
    BOOL m_bRead;
    BOOL m_bForce;
};

class CRegPointValue : public CRegValue {
public:
    CRegPointValue(LPCTSTR pszFullPath, const POINT& ptDefault, BOOL bForce, HKEY hRoot);

    POINT Get();
    CRegPointValue& Set(const POINT& ptValue);
    POINT Read();
    void Write();

    BOOL IsRead() const { return m_bRead; }

private:
    POINT m_ptCache;
    POINT m_ptDefault;
    BOOL m_bRead;
    BOOL m_bForce;
};
