// CString: text operations over a std::string that owns the bytes.
#include "cstring.h"

#include "text_number.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

int CString::Compare(LPCTSTR psz) const
{
    return std::strcmp(m_str.c_str(), psz ? psz : "");
}

int CString::CompareNoCase(LPCTSTR psz) const
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(m_str.c_str());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(psz ? psz : "");
    for (;; ++a, ++b) {
        int ca = std::tolower(*a), cb = std::tolower(*b);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

void CString::Format(LPCTSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCTSTR pszFormat, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, pszFormat, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        m_str.assign(small, n);
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), pszFormat, args);
    m_str.assign(big.data(), n);
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0) nStart = 0;
    if (nStart >= GetLength()) return -1;
    size_t pos = m_str.find(ch, static_cast<size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(LPCTSTR pszSub, int nStart) const
{
    if (!pszSub) return -1;
    if (nStart < 0) nStart = 0;
    if (nStart > GetLength()) return -1;
    size_t pos = m_str.find(pszSub, static_cast<size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const
{
    size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(LPCTSTR pszCharSet) const
{
    if (!pszCharSet) return -1;
    size_t pos = m_str.find_first_of(pszCharSet);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int nCount) const
{
    nCount = std::max(0, std::min(nCount, GetLength()));
    return CString(m_str.substr(0, static_cast<size_t>(nCount)));
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    nFirst = std::max(0, nFirst);
    if (nFirst >= GetLength() || nCount <= 0) return CString();
    nCount = std::min(nCount, GetLength() - nFirst);
    return CString(m_str.substr(static_cast<size_t>(nFirst), static_cast<size_t>(nCount)));
}

CString CString::Right(int nCount) const
{
    nCount = std::max(0, std::min(nCount, GetLength()));
    return CString(m_str.substr(m_str.size() - static_cast<size_t>(nCount)));
}

CString CString::SpanIncluding(LPCTSTR pszCharSet) const
{
    size_t n = std::strspn(m_str.c_str(), pszCharSet ? pszCharSet : "");
    return CString(m_str.substr(0, n));
}

CString CString::SpanExcluding(LPCTSTR pszCharSet) const
{
    size_t n = std::strcspn(m_str.c_str(), pszCharSet ? pszCharSet : "");
    return CString(m_str.substr(0, n));
}

CString& CString::MakeUpper()
{
    for (char& ch : m_str) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return *this;
}

CString& CString::MakeLower()
{
    for (char& ch : m_str) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return *this;
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && CwIsSpace(m_str[i])) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && CwIsSpace(m_str[n - 1])) --n;
    m_str.resize(n);
    return *this;
}

CString& CString::TrimLeft(LPCTSTR pszTargets)
{
    size_t i = m_str.find_first_not_of(pszTargets ? pszTargets : "");
    m_str.erase(0, i == std::string::npos ? m_str.size() : i);
    return *this;
}

CString& CString::TrimRight(LPCTSTR pszTargets)
{
    size_t i = m_str.find_last_not_of(pszTargets ? pszTargets : "");
    m_str.resize(i == std::string::npos ? 0 : i + 1);
    return *this;
}

int CString::Replace(LPCTSTR pszOld, LPCTSTR pszNew)
{
    size_t oldLen = pszOld ? std::strlen(pszOld) : 0;
    if (oldLen == 0) return 0;
    if (!pszNew) pszNew = "";
    size_t pos = m_str.find(pszOld, 0, oldLen);
    if (pos == std::string::npos) return 0;
    // One pass into a new buffer: linear, whatever the number of matches.
    std::string out;
    out.reserve(m_str.size());
    size_t from = 0;
    int count = 0;
    while (pos != std::string::npos) {
        out.append(m_str, from, pos - from);
        out.append(pszNew);
        from = pos + oldLen;
        ++count;
        pos = m_str.find(pszOld, from, oldLen);
    }
    out.append(m_str, from, std::string::npos);
    m_str.swap(out);
    return count;
}

int CString::Replace(char chOld, char chNew)
{
    int count = 0;
    for (char& ch : m_str)
        if (ch == chOld) {
            ch = chNew;
            ++count;
        }
    return count;
}

int CString::Remove(char ch)
{
    size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int nIndex, LPCTSTR psz)
{
    nIndex = std::max(0, std::min(nIndex, GetLength()));
    m_str.insert(static_cast<size_t>(nIndex), psz ? psz : "");
    return GetLength();
}

int CString::Delete(int nIndex, int nCount)
{
    if (nIndex >= 0 && nIndex < GetLength() && nCount > 0)
        m_str.erase(static_cast<size_t>(nIndex), static_cast<size_t>(nCount));
    return GetLength();
}

LPTSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength > GetLength()) m_str.resize(static_cast<size_t>(nMinBufLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0) nNewLength = static_cast<int>(std::strlen(m_str.c_str()));
    m_str.resize(static_cast<size_t>(nNewLength));
}

LPTSTR CString::GetBufferSetLength(int nNewLength)
{
    m_str.resize(static_cast<size_t>(std::max(0, nNewLength)));
    return &m_str[0];
}
