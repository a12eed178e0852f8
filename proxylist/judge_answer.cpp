// Reading the judge's answer and checking its length and checksum.
#include "judge_answer.h"

#include <cstdio>
#include <cstdlib>

std::vector<CString> SplitJudgeUrls(LPCTSTR pszJudgeUrls)
{
    std::vector<CString> urls;
    CString strRest(pszJudgeUrls);
    const char kBlanks[] = " \t\r\n";
    for (strRest.TrimLeft(kBlanks); !strRest.IsEmpty(); strRest.TrimLeft(kBlanks)) {
        CString strUrl = strRest.SpanExcluding(kBlanks);
        urls.push_back(strUrl);
        strRest = strRest.Mid(strUrl.GetLength());
    }
    return urls;
}

BOOL SameHeaderName(LPCTSTR pszName, LPCTSTR pszOther)
{
    CString strName(pszName), strOther(pszOther);
    strName.Replace('_', '-');
    strOther.Replace('_', '-');
    return strName.CompareNoCase(strOther) == 0;
}

DWORD JudgeChecksum(const char* pData, size_t nLen)
{
    DWORD dwCrc = 0xFFFFFFFF;
    for (size_t i = 0; i < nLen; ++i) {
        dwCrc ^= static_cast<unsigned char>(pData[i]);
        for (int nBit = 0; nBit < 8; ++nBit) dwCrc = (dwCrc >> 1) ^ (0xEDB88320 & (0 - (dwCrc & 1)));
    }
    return ~dwCrc;
}

namespace {

// The line that starts at nPos (without its CR LF); nPos moves past it.
// FALSE at the end of the text.
BOOL NextLine(const CString& strText, int& nPos, CString& rLine)
{
    if (nPos >= strText.GetLength()) return FALSE;
    int nEnd = strText.Find('\n', nPos);
    if (nEnd < 0) nEnd = strText.GetLength();
    rLine = strText.Mid(nPos, nEnd - nPos);
    rLine.TrimRight("\r");
    nPos = nEnd + 1;
    return TRUE;
}

BOOL ValueAfter(const CString& strLine, LPCTSTR pszPrefix, CString& rValue)
{
    CString strPrefix(pszPrefix);
    if (strLine.Left(strPrefix.GetLength()) != strPrefix) return FALSE;
    rValue = strLine.Mid(strPrefix.GetLength());
    return TRUE;
}

} // namespace

BOOL SplitHeaderLine(const CString& strLine, CString& rName, CString& rValue)
{
    int nColon = strLine.Find(':');
    if (nColon < 0) return FALSE;
    rName = strLine.Left(nColon);
    rName.Trim();
    rValue = strLine.Mid(nColon + 1);
    rValue.TrimLeft(" \t");
    return TRUE;
}

namespace {

int CountScripts(const CString& strBody)
{
    CString strLower(strBody);
    strLower.MakeLower();
    int nCount = 0;
    for (int nPos = strLower.Find("<script"); nPos >= 0; nPos = strLower.Find("<script", nPos + 1)) ++nCount;
    return nCount;
}

BOOL ParseOwnAnswer(const CString& strBody, CJudgeAnswer& rAnswer)
{
    // A proxy may put bytes before the page; the judge's part starts at its
    // magic line, and anything before it counts as a change.
    int nStart = strBody.Find(JUDGE_MAGIC "\r\n");
    if (nStart < 0) return FALSE;
    int nPos = nStart;
    CString strLine;
    NextLine(strBody, nPos, strLine);
    // The judge's own lines come before the first header, in any order and
    // each of them may be missing: a judge behind a front of its own may not
    // know the client.
    BOOL bInHeaders = FALSE;
    BOOL bEnded = FALSE;
    while (NextLine(strBody, nPos, strLine)) {
        if (strLine.IsEmpty()) {
            bEnded = TRUE;
            break;
        }
        CString strName, strValue;
        if (!bInHeaders && SplitHeaderLine(strLine, strName, strValue)) {
            if (strName == "Client") {
                rAnswer.strClient = strValue;
                rAnswer.strClient.Trim();
                continue;
            }
            if (strName == "Request") {
                rAnswer.strRequest = strValue;
                continue;
            }
        }
        bInHeaders = TRUE;
        rAnswer.headers.push_back(strLine);
    }
    int nSigned = nPos - nStart;
    CString strLength, strChecksum;
    BOOL bTrailer = bEnded && NextLine(strBody, nPos, strLine) && ValueAfter(strLine, "Length: ", strLength) &&
                    NextLine(strBody, nPos, strLine) && ValueAfter(strLine, "Checksum: ", strChecksum);
    if (bTrailer) {
        // Nothing may follow the trailer, and nothing may precede the page.
        BOOL bAlone = nStart == 0 && nPos >= strBody.GetLength();
        char* pEnd = nullptr;
        unsigned long nLength = std::strtoul(strLength, &pEnd, 10);
        BOOL bLengthRight = *pEnd == '\0' && nLength == static_cast<unsigned long>(nSigned);
        unsigned long nCrc = std::strtoul(strChecksum, &pEnd, 16);
        BOOL bCrcRight = *pEnd == '\0' && strChecksum.GetLength() == 8 &&
                         nCrc == JudgeChecksum(strBody.GetString() + nStart, static_cast<size_t>(nSigned));
        rAnswer.bIntact = bAlone && bLengthRight && bCrcRight;
    }
    return TRUE;
}

} // namespace

BOOL ParseJudgeAnswer(const CString& strBody, CJudgeAnswer& rAnswer)
{
    rAnswer = CJudgeAnswer();
    BOOL bRead = ParseOwnAnswer(strBody, rAnswer) || ParseJsonEchoAnswer(strBody, rAnswer) ||
                 ParseEnvDumpAnswer(strBody, rAnswer);
    rAnswer.nScripts = CountScripts(strBody);
    return bRead;
}
