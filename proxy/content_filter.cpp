// The tag-renaming rules. The rules are applied in their order, each to the
// text the previous one left, left to right, never looking into the text it
// just inserted. Tag names are matched without regard to case, as HTML reads
// them: a page that wrote "<SCRIPT" would otherwise run its scripts with the
// filter switched on. The replacement texts are what the rules always were.
#include "proxy/content_filter.h"

#include "proxy/filter_switches.h"

#include <cstring>

namespace {

struct CRenameRule {
    const char* pszPattern; // lower case; matched without regard to case
    int nPatternLength;
    const char* pszReplacement;
    int nReplacementLength;
};

// Script rules first, then the object rules; with case ignored the upper-case
// object rules are the lower-case ones again.
const CRenameRule SCRIPT_RULES[] = {
    {"<script", 7, "<noscript", 9},
    {"</script>", 9, "</noscript> ", 12},
};
const CRenameRule OBJECT_RULES[] = {
    {"<object", 7, "<noobj ", 7},
    {"</object>", 9, "</noobj> ", 9},
};

char Lower(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

BOOL MatchesAt(const char* p, int nLeft, const CRenameRule& rule)
{
    if (nLeft < rule.nPatternLength) return FALSE;
    for (int i = 0; i < rule.nPatternLength; ++i)
        if (Lower(p[i]) != rule.pszPattern[i]) return FALSE;
    return TRUE;
}

} // namespace

const char* const CContentFilter::PATTERNS[CContentFilter::PATTERN_COUNT] = {
    "<script",
    "</script>",
    "<object",
    "</object>",
};

CContentFilter::CContentFilter() : m_pChunk(nullptr), m_nLength(0)
{
}

CContentFilter::CContentFilter(const char* pChunk, int nLength) : m_pChunk(pChunk), m_nLength(nLength)
{
}

int CContentFilter::FilterBody()
{
    if (!m_pChunk || m_nLength <= 0) return 0;

    const BOOL bScripts = ReadEnableJS() == 1;
    const BOOL bObjects = ReadEnableActiveX() == 1;
    std::string& out = m_strFiltered;
    out.clear();
    if (!bScripts && !bObjects) {
        out.assign(m_pChunk, static_cast<size_t>(m_nLength));
        return 1;
    }
    out.reserve(static_cast<size_t>(m_nLength) + m_nLength / 8);

    // Every pattern begins with '<' and holds no other '<', so no two matches
    // can overlap and no replacement can form a match with its neighbours:
    // one scan from left to right gives what the passes one after the other
    // would give, at the cost of one pass.
    const char* p = m_pChunk;
    const char* pEnd = m_pChunk + m_nLength;
    while (p < pEnd) {
        const char* pTag = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(pEnd - p)));
        if (!pTag) {
            out.append(p, static_cast<size_t>(pEnd - p));
            break;
        }
        out.append(p, static_cast<size_t>(pTag - p));
        const int nLeft = static_cast<int>(pEnd - pTag);
        const CRenameRule* pHit = nullptr;
        if (bScripts) {
            for (const CRenameRule& rule : SCRIPT_RULES)
                if (MatchesAt(pTag, nLeft, rule)) pHit = &rule;
        }
        if (!pHit && bObjects) {
            for (const CRenameRule& rule : OBJECT_RULES)
                if (MatchesAt(pTag, nLeft, rule)) pHit = &rule;
        }
        if (pHit) {
            out.append(pHit->pszReplacement, static_cast<size_t>(pHit->nReplacementLength));
            p = pTag + pHit->nPatternLength;
        } else {
            out += '<';
            p = pTag + 1;
        }
    }
    return 1;
}

int CContentFilter::FilterHeaders(CHeaderFieldArray& headers)
{
    // While a rule is on, the server is asked for the page as it is: a
    // compressed body would pass the filter unread.
    if (ReadEnableJS() != 1 && ReadEnableActiveX() != 1) return 1;
    CHeaderFieldArray kept;
    for (int i = 0; i < headers.GetSize(); ++i) {
        const CHeaderField& field = headers[i];
        if (field.m_bHasColon && field.m_strName.CompareNoCase("Accept-Encoding") == 0) continue;
        kept.Add(field);
    }
    headers = kept;
    return 1;
}
