// The tag-renaming rules. Each rule is a pass over the whole chunk as the
// previous pass left it: exact, case-sensitive, left to right, never looking
// into the text it just inserted.
#include "proxy/content_filter.h"

#include "proxy/filter_switches.h"

CContentFilter::CContentFilter()
    : m_pChunk(nullptr), m_nLength(0)
{
}

CContentFilter::CContentFilter(const char* pChunk, int nLength)
    : m_pChunk(pChunk), m_nLength(nLength)
{
}

int CContentFilter::FilterBody()
{
    if (!m_pChunk || m_nLength <= 0) return 0;

    m_strFiltered = CString(m_pChunk, m_nLength);
    if (ReadEnableJS() == 1) {
        // "<noscript" makes the browser take the script as noscript content.
        m_strFiltered.Replace("<script", "<noscript");
        m_strFiltered.Replace("</script>", "</noscript> ");
    }
    if (ReadEnableActiveX() == 1) {
        // Same length in and out, so the object rules never move a byte.
        m_strFiltered.Replace("<object", "<noobj ");
        m_strFiltered.Replace("</object>", "</noobj> ");
        m_strFiltered.Replace("<OBJECT", "<noobj ");
        m_strFiltered.Replace("</OBJECT>", "</noobj> ");
    }
    return 1;
}

int CContentFilter::FilterHeaders(CHeaderFieldArray& headers)
{
    (void)headers;
    return 1;
}
