// CRegStringValue: REG_SZ values with a two-step read and a cached Get.
#include "registry/reg_string_value.h"

#include <cstring>

CRegStringValue::CRegStringValue(LPCTSTR pszFullPath, LPCTSTR pszDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_strDefault(pszDefault), m_bRead(FALSE), m_bForce(bForce)
{
    Read();
}

CString CRegStringValue::Get()
{
    if (m_bRead && !m_bForce) return m_strCache;
    return Read();
}

CRegStringValue& CRegStringValue::Set(LPCTSTR pszValue)
{
    m_bLastSetFailed = FALSE;
    CString strValue(pszValue);
    if (strValue == m_strCache && m_bRead && !m_bForce) return *this;
    CString strBefore = m_strCache;
    m_strCache = strValue;
    if (!WriteCache()) {
        m_strCache = strBefore;
        m_bLastSetFailed = TRUE;
    }
    return *this;
}

CString CRegStringValue::Read()
{
    std::vector<BYTE> block;
    if (!QueryBlock(block)) return m_strDefault;

    const char* pch = reinterpret_cast<const char*>(block.data());
    const void* pZero = block.empty() ? NULL : std::memchr(pch, 0, block.size());
    size_t nLength = pZero ? static_cast<const char*>(pZero) - pch : block.size();
    m_strCache = CString(pch, static_cast<int>(nLength));
    m_bRead = TRUE;
    return m_strCache;
}

void CRegStringValue::Write()
{
    WriteCache();
}

BOOL CRegStringValue::WriteCache()
{
    // The cache never holds a zero byte (reads stop at the first one), so
    // its C text is the whole of it.
    LPCTSTR psz = m_strCache;
    if (!SetData(REG_SZ, psz, static_cast<DWORD>(std::strlen(psz) + 1))) return FALSE;
    m_bRead = TRUE;
    return TRUE;
}
