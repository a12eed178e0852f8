// CRegRectValue and CRegPointValue: fixed-size binary records read in two
// steps like strings and compared field by field.
#include "registry/reg_binary_values.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The record layout on disk is fixed at little-endian 32-bit fields
// whatever the compiler thinks of RECT and POINT.
void PackInts(const std::int32_t* pn, int nCount, BYTE* pb)
{
    for (int i = 0; i < nCount; ++i) {
        std::uint32_t u = static_cast<std::uint32_t>(pn[i]);
        for (int b = 0; b < 4; ++b) pb[i * 4 + b] = static_cast<BYTE>(u >> (8 * b));
    }
}

void UnpackInts(const BYTE* pb, int nCount, std::int32_t* pn)
{
    for (int i = 0; i < nCount; ++i) {
        std::uint32_t u = 0;
        for (int b = 0; b < 4; ++b) u |= static_cast<std::uint32_t>(pb[i * 4 + b]) << (8 * b);
        pn[i] = static_cast<std::int32_t>(u);
    }
}

void ToInts(const RECT& rc, std::int32_t* pn)
{
    pn[0] = static_cast<std::int32_t>(rc.left);
    pn[1] = static_cast<std::int32_t>(rc.top);
    pn[2] = static_cast<std::int32_t>(rc.right);
    pn[3] = static_cast<std::int32_t>(rc.bottom);
}

void FromInts(const std::int32_t* pn, RECT& rc)
{
    rc.left = pn[0];
    rc.top = pn[1];
    rc.right = pn[2];
    rc.bottom = pn[3];
}

void ToInts(const POINT& pt, std::int32_t* pn)
{
    pn[0] = static_cast<std::int32_t>(pt.x);
    pn[1] = static_cast<std::int32_t>(pt.y);
}

void FromInts(const std::int32_t* pn, POINT& pt)
{
    pt.x = pn[0];
    pt.y = pn[1];
}

} // namespace

template <class TValue, class TRecord, int N>
CRegIntRecordValue<TValue, TRecord, N>::CRegIntRecordValue(LPCTSTR pszFullPath, const TRecord& recDefault, BOOL bForce,
                                                           HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_recCache(), m_recDefault(recDefault), m_bRead(FALSE), m_bForce(bForce)
{
    Read();
}

template <class TValue, class TRecord, int N>
TRecord CRegIntRecordValue<TValue, TRecord, N>::Get()
{
    if (m_bRead && !m_bForce) return m_recCache;
    return Read();
}

template <class TValue, class TRecord, int N>
TValue& CRegIntRecordValue<TValue, TRecord, N>::Set(const TRecord& recValue)
{
    std::int32_t nNew[N], nCached[N];
    ToInts(recValue, nNew);
    ToInts(m_recCache, nCached);
    // Field by field: the records may have padding that a byte compare would see.
    if (std::equal(nNew, nNew + N, nCached) && m_bRead && !m_bForce) return static_cast<TValue&>(*this);
    m_recCache = recValue;
    Write();
    return static_cast<TValue&>(*this);
}

template <class TValue, class TRecord, int N>
TRecord CRegIntRecordValue<TValue, TRecord, N>::Read()
{
    std::vector<BYTE> block;
    if (!QueryBlock(block) || block.size() < 4 * N) return m_recDefault;
    std::int32_t n[N];
    UnpackInts(block.data(), N, n);
    FromInts(n, m_recCache);
    m_bRead = TRUE;
    return m_recCache;
}

template <class TValue, class TRecord, int N>
void CRegIntRecordValue<TValue, TRecord, N>::Write()
{
    std::int32_t n[N];
    ToInts(m_recCache, n);
    BYTE data[4 * N];
    PackInts(n, N, data);
    if (SetData(REG_BINARY, data, sizeof(data))) m_bRead = TRUE;
}

template class CRegIntRecordValue<CRegRectValue, RECT, 4>;
template class CRegIntRecordValue<CRegPointValue, POINT, 2>;
