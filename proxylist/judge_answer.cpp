// Reading the judge's answer and checking its length and checksum.
#include "judge_answer.h"

#include "download.h"

#include <cstdio>
#include <cstdlib>

CString GetJudgeUrl(LPCTSTR pszJudgeUrl, LPCTSTR pszUpdateServer)
{
    CString strOwn(pszJudgeUrl);
    strOwn.Trim();
    if (!strOwn.IsEmpty()) return strOwn;
    return VendorUrl(pszUpdateServer, JUDGE_PATH);
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

BOOL ParseJudgeAnswer(const CString& strBody, CJudgeAnswer& rAnswer)
{
    rAnswer = CJudgeAnswer();
    int nPos = 0;
    CString strLine;
    // A proxy may put bytes before the page; the judge's part starts at its
    // magic line, and anything before it counts as a change.
    int nStart = strBody.Find(JUDGE_MAGIC "\r\n");
    if (nStart < 0) return FALSE;
    nPos = nStart;
    NextLine(strBody, nPos, strLine);
    if (NextLine(strBody, nPos, strLine)) ValueAfter(strLine, "Client: ", rAnswer.strClient);
    if (NextLine(strBody, nPos, strLine)) ValueAfter(strLine, "Request: ", rAnswer.strRequest);
    BOOL bEnded = FALSE;
    while (NextLine(strBody, nPos, strLine)) {
        if (strLine.IsEmpty()) {
            bEnded = TRUE;
            break;
        }
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
