// Splitting and rebuilding of the first request head.
#include "proxy/internal/request_head.h"

#include "framework/core/text_number.h"

#include <cstring>

namespace {

// The blanks around a header value: space and tab only, as HTTP has it.
BOOL IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

void TakeTarget(const CString& strValue, CRequestHead& head)
{
    CString strTarget(strValue);
    strTarget.TrimRight(" \t");
    // An IPv6 address is in brackets, its colons no port's.
    const int nClose = strTarget.Left(1) == "[" ? strTarget.Find(']') : -1;
    int nColon = strTarget.Find(':', nClose > 0 ? nClose : 0);
    if (nColon >= 1) {
        head.m_strHost = strTarget.Left(nColon);
        head.m_nPort = CwAtoi(strTarget.Mid(nColon + 1));
    } else {
        head.m_strHost = strTarget;
        head.m_nPort = 80;
    }
}

CHeaderField SplitHeaderLine(const CString& strLine)
{
    CHeaderField field;
    int nColon = strLine.Find(':');
    if (nColon < 0) {
        field.m_bHasColon = FALSE;
        field.m_strValue = strLine;
        return field;
    }
    // The value starts after the colon and whatever blanks follow it, so a
    // header written without a space keeps its first character.
    int nValue = nColon + 1;
    while (nValue < strLine.GetLength() && IsBlank(strLine[nValue])) ++nValue;
    field.m_strName = strLine.Left(nColon);
    field.m_strValue = strLine.Mid(nValue);
    return field;
}

} // namespace

int SkipLeadingEmptyLines(const char* pData, int nLength)
{
    int i = 0;
    while (i + 1 < nLength && pData[i] == '\r' && pData[i + 1] == '\n') i += 2;
    return i;
}

int FindRequestHeadEnd(const char* pData, int nLength, int nSearchFrom)
{
    // Empty lines before the request line are not a head of their own (a
    // client may send one after a previous body); the head starts after them.
    int nFirst = SkipLeadingEmptyLines(pData, nLength);
    // The four bytes of the empty line may straddle the old end.
    int nStart = nSearchFrom > 3 ? nSearchFrom - 3 : 0;
    if (nStart < nFirst) nStart = nFirst;
    for (int i = nStart; i + 3 < nLength; ++i) {
        if (pData[i] == '\r' && pData[i + 1] == '\n' && pData[i + 2] == '\r' && pData[i + 3] == '\n') return i + 4;
    }
    return 0;
}

BOOL ParseRequestHead(const CString& strHead, CRequestHead& head)
{
    head = CRequestHead();
    BOOL bSound = TRUE;
    int nPos = SkipLeadingEmptyLines(strHead.str().data(), strHead.GetLength());
    BOOL bFirst = TRUE;
    for (;;) {
        int nEnd = strHead.Find("\r\n", nPos);
        if (nEnd < 0 || nEnd == nPos) break; // no more lines, or the empty line
        CString strLine = strHead.Mid(nPos, nEnd - nPos);
        nPos = nEnd + 2;
        if (bFirst) {
            head.m_strRequestLine = strLine;
            bFirst = FALSE;
            continue;
        }
        CHeaderField field = SplitHeaderLine(strLine);
        if (field.m_bHasColon && field.m_strName.CompareNoCase("Host") == 0) {
            if (field.m_strValue.str().find('\0') != std::string::npos) bSound = FALSE;
            TakeTarget(field.m_strValue, head);
        }
        head.m_headers.Add(field);
    }
    return bSound;
}

CString OriginFormRequestLine(const CString& strRequestLine)
{
    const std::string& line = strRequestLine.str();
    const size_t nTarget = line.find(' ');
    if (nTarget == std::string::npos) return strRequestLine;
    static const char SCHEME[] = "http://";
    const size_t nScheme = sizeof SCHEME - 1;
    if (line.size() < nTarget + 1 + nScheme) return strRequestLine;
    for (size_t i = 0; i < nScheme; ++i) {
        char ch = line[nTarget + 1 + i];
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != SCHEME[i]) return strRequestLine;
    }
    const size_t nAuthority = nTarget + 1 + nScheme;
    size_t nEnd = line.find(' ', nAuthority);
    if (nEnd == std::string::npos) nEnd = line.size();
    // The path starts at the first '/' after the authority; a query or a
    // fragment right after it means an empty path.
    size_t nPath = line.find_first_of("/?#", nAuthority);
    std::string strOut = line.substr(0, nTarget + 1);
    if (nPath == std::string::npos || nPath >= nEnd) {
        strOut += "/";
    } else {
        if (line[nPath] != '/') strOut += "/";
        strOut += line.substr(nPath, nEnd - nPath);
    }
    strOut += line.substr(nEnd);
    return CString(strOut);
}

CString RebuildRequestHead(const CRequestHead& head, LPCTSTR pszAuthLine)
{
    CString strOut(head.m_strRequestLine);
    strOut += "\r\n";
    for (int i = 0; i < head.m_headers.GetSize(); ++i) {
        const CHeaderField& field = head.m_headers[i];
        if (field.m_bHasColon) {
            strOut += field.m_strName;
            strOut += ": ";
        }
        strOut += field.m_strValue;
        strOut += "\r\n";
    }
    if (pszAuthLine) strOut += pszAuthLine;
    strOut += "\r\n";
    return strOut;
}
