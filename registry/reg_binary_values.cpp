// CRegRectValue and CRegPointValue: fixed-size binary records read in two
// steps like strings and compared field by field.
#include "registry/reg_binary_values.h"

#include <cstdint>
#include <cstring>

namespace {

// The record layout on disk is fixed at little-endian 32-bit fields
// whatever the compiler thinks of RECT and POINT.
void PackInts(const std::int32_t* pn, int nCount, BYTE* pb)
{
    for (int i = 0; i < nCount; ++i) {
        std::uint32_t u = static_cast<std::uint32_t>(pn[i]);
        for (int b = 0; b < 4; ++b)
            pb[i * 4 + b] = static_cast<BYTE>(u >> (8 * b));
    }
}

void UnpackInts(const BYTE* pb, int nCount, std::int32_t* pn)
{
    for (int i = 0; i < nCount; ++i) {
        std::uint32_t u = 0;
        for (int b = 0; b < 4; ++b)
            u |= static_cast<std::uint32_t>(pb[i * 4 + b]) << (8 * b);
        pn[i] = static_cast<std::int32_t>(u);
    }
}

BOOL SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

CRegRectValue::CRegRectValue(LPCTSTR pszFullPath, const RECT& rcDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_rcCache(), m_rcDefault(rcDefault), m_bRead(FALSE),
      m_bForce(bForce)
{
    Read();
}

RECT CRegRectValue::Get()
{
    if (m_bRead && !m_bForce)
        return m_rcCache;
    return Read();
}

CRegRectValue& CRegRectValue::Set(const RECT& rcValue)
{
    if (SameRect(rcValue, m_rcCache) && m_bRead && !m_bForce)
        return *this;
    m_rcCache = rcValue;
    Write();
    return *this;
}

RECT CRegRectValue::Read()
{
    std::vector<BYTE> block;
    if (!QueryBlock(block) || block.size() < 16)
        return m_rcDefault;
    std::int32_t n[4];
    UnpackInts(block.data(), 4, n);
    m_rcCache.left = n[0];
    m_rcCache.top = n[1];
    m_rcCache.right = n[2];
    m_rcCache.bottom = n[3];
    m_bRead = TRUE;
    return m_rcCache;
}

void CRegRectValue::Write()
{
    std::int32_t n[4] = {static_cast<std::int32_t>(m_rcCache.left), static_cast<std::int32_t>(m_rcCache.top),
                         static_cast<std::int32_t>(m_rcCache.right), static_cast<std::int32_t>(m_rcCache.bottom)};
    BYTE data[16];
    PackInts(n, 4, data);
    if (SetData(REG_BINARY, data, sizeof(data)))
        m_bRead = TRUE;
}

CRegPointValue::CRegPointValue(LPCTSTR pszFullPath, const POINT& ptDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_ptCache(), m_ptDefault(ptDefault), m_bRead(FALSE),
      m_bForce(bForce)
{
    Read();
}

POINT CRegPointValue::Get()
{
    if (m_bRead && !m_bForce)
        return m_ptCache;
    return Read();
}

CRegPointValue& CRegPointValue::Set(const POINT& ptValue)
{
    if (ptValue.x == m_ptCache.x && ptValue.y == m_ptCache.y && m_bRead && !m_bForce)
        return *this;
    m_ptCache = ptValue;
    Write();
    return *this;
}

POINT CRegPointValue::Read()
{
    std::vector<BYTE> block;
    if (!QueryBlock(block) || block.size() < 8)
        return m_ptDefault;
    std::int32_t n[2];
    UnpackInts(block.data(), 2, n);
    m_ptCache.x = n[0];
    m_ptCache.y = n[1];
    m_bRead = TRUE;
    return m_ptCache;
}

void CRegPointValue::Write()
{
    std::int32_t n[2] = {static_cast<std::int32_t>(m_ptCache.x), static_cast<std::int32_t>(m_ptCache.y)};
    BYTE data[8];
    PackInts(n, 2, data);
    if (SetData(REG_BINARY, data, sizeof(data)))
        m_bRead = TRUE;
}
