// The carried tail between the pieces of a filtered body.
#include "proxy/internal/stream_filter.h"

#include "proxy/content_filter.h"

#include <cstring>

namespace {

// The longest pattern less one: a longer end holds a whole pattern or none.
const int MAX_HELD = 8;

char Lower(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool BeginsPattern(const char* p, int n)
{
    for (const char* pszPattern : CContentFilter::PATTERNS) {
        int nPattern = static_cast<int>(std::strlen(pszPattern));
        if (n >= nPattern) continue;
        int i = 0;
        while (i < n && Lower(p[i]) == pszPattern[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

void AppendFiltered(const char* pData, int nLength, std::string& strOut)
{
    CContentFilter filter(pData, nLength);
    if (filter.FilterBody() == 1) strOut += filter.GetFilteredText();
}

} // namespace

int CStreamFilter::HeldBackLength(const char* pData, int nLength)
{
    // Every pattern starts with '<' and holds no other, so the held end is
    // the one starting at the last '<' within reach, when it fits a pattern.
    int nFrom = nLength > MAX_HELD ? nLength - MAX_HELD : 0;
    for (int i = nLength - 1; i >= nFrom; --i) {
        if (pData[i] != '<') continue;
        return BeginsPattern(pData + i, nLength - i) ? nLength - i : 0;
    }
    return 0;
}

void CStreamFilter::Filter(const char* pData, int nLength, std::string& strOut)
{
    if (nLength <= 0) return;
    if (!m_strHeld.empty()) {
        // Joined with what waited; the joined text is at most a few bytes
        // longer than the piece.
        std::string joined;
        joined.reserve(m_strHeld.size() + static_cast<size_t>(nLength));
        joined = m_strHeld;
        joined.append(pData, static_cast<size_t>(nLength));
        m_strHeld.clear();
        Filter(joined.data(), static_cast<int>(joined.size()), strOut);
        return;
    }
    int nHeld = HeldBackLength(pData, nLength);
    AppendFiltered(pData, nLength - nHeld, strOut);
    m_strHeld.assign(pData + nLength - nHeld, static_cast<size_t>(nHeld));
}

void CStreamFilter::Flush(std::string& strOut)
{
    AppendFiltered(m_strHeld.data(), static_cast<int>(m_strHeld.size()), strOut);
    m_strHeld.clear();
}
