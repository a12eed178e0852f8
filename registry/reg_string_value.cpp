// CRegStringValue: REG_SZ values with a two-step read and a cached Get.
#include "registry/reg_string_value.h"

#include <cstring>

CRegStringValue::CRegStringValue(LPCTSTR pszFullPath, LPCTSTR pszDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_strDefault(pszDefault), m_bRead(FALSE), m_bForce(bForce), m_bLastSetFailed(FALSE)
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
    CString strValue(pszValue);
    m_bLastSetFailed = FALSE;
    if (strValue == m_strCache && m_bRead && !m_bForce) return *this;
    // The cache takes the text only once it is stored: a refused save must
    // not look saved until the next start shows otherwise.
    if (Store(strValue))
        m_strCache = strValue;
    else
        m_bLastSetFailed = TRUE;
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
    Store(m_strCache);
}

BOOL CRegStringValue::Store(const CString& strValue)
{
    // Only the text up to a zero byte is stored (reads stop at the first
    // one too), so its C text is all there is to write.
    LPCTSTR psz = strValue;
    if (!SetData(REG_SZ, psz, static_cast<DWORD>(std::strlen(psz) + 1))) return FALSE;
    m_bRead = TRUE;
    return TRUE;
}
