// Grading a proxy from two judge answers.
#include "proxy_grade.h"

#include <cstring>

namespace {

const char* const kGradeNames[] = {"untested", "dead", "tampering", "transparent", "anonymous", "elite"};

// Headers that no browser sends and many proxies add.
const char* const kRevealing[] = {"Via",
                                  "Forwarded",
                                  "Proxy-Connection",
                                  "Client-IP",
                                  "X-Client-IP",
                                  "X-Real-IP",
                                  "True-Client-IP",
                                  "X-Originating-IP",
                                  "X-Cluster-Client-IP",
                                  "Proxy-Agent",
                                  "X-BlueCoat-Via",
                                  "Cache-Info"};
// Any header that starts so.
const char* const kRevealingPrefixes[] = {"X-Forwarded-", "X-Proxy-", "Proxy-"};

BOOL IsAddressChar(char ch)
{
    return (ch >= '0' && ch <= '9') || ch == '.';
}

// The address as a whole in the text: "127.0.0.1" is not in "127.0.0.12".
BOOL ContainsAddress(const CString& strText, const CString& strAddress)
{
    if (strAddress.IsEmpty()) return FALSE;
    for (int nPos = strText.Find(strAddress); nPos >= 0; nPos = strText.Find(strAddress, nPos + 1)) {
        int nEnd = nPos + strAddress.GetLength();
        BOOL bStartFree = nPos == 0 || !IsAddressChar(strText[nPos - 1]);
        BOOL bEndFree = nEnd >= strText.GetLength() || !IsAddressChar(strText[nEnd]);
        if (bStartFree && bEndFree) return TRUE;
    }
    return FALSE;
}

BOOL CarriesHeaderNamed(const CJudgeAnswer& answer, const CString& strName)
{
    for (const CString& strLine : answer.headers) {
        CString strHeader, strValue;
        if (SplitHeaderLine(strLine, strHeader, strValue) && strHeader.CompareNoCase(strName) == 0) return TRUE;
    }
    return FALSE;
}

BOOL CarriesHeaderLine(const CJudgeAnswer& answer, const CString& strLine)
{
    for (const CString& strOwn : answer.headers)
        if (strOwn == strLine) return TRUE;
    return FALSE;
}

void AddGiveaway(CString& rList, const CString& strName)
{
    if (!rList.IsEmpty()) rList += ", ";
    rList += strName;
}

} // namespace

LPCTSTR ProxyGradeName(EProxyGrade eGrade)
{
    int nIndex = static_cast<int>(eGrade);
    if (nIndex < 0 || nIndex > PROXY_GRADE_ELITE) nIndex = PROXY_GRADE_UNTESTED;
    return kGradeNames[nIndex];
}

EProxyGrade ProxyGradeFromName(LPCTSTR pszName)
{
    for (int i = 0; i <= PROXY_GRADE_ELITE; ++i)
        if (pszName && std::strcmp(pszName, kGradeNames[i]) == 0) return static_cast<EProxyGrade>(i);
    return PROXY_GRADE_UNTESTED;
}

BOOL IsProxyRevealingHeader(LPCTSTR pszName)
{
    CString strName(pszName);
    for (const char* pszKnown : kRevealing)
        if (strName.CompareNoCase(pszKnown) == 0) return TRUE;
    for (const char* pszPrefix : kRevealingPrefixes) {
        int nLen = static_cast<int>(std::strlen(pszPrefix));
        if (strName.GetLength() > nLen && strName.Left(nLen).CompareNoCase(pszPrefix) == 0) return TRUE;
    }
    return FALSE;
}

EProxyGrade GradeJudgeAnswers(const CJudgeAnswer& direct, const CJudgeAnswer& proxied, LPCTSTR pszMarker,
                              CString& rGiveaways)
{
    rGiveaways.Empty();
    if (!proxied.bIntact || !pszMarker || !*pszMarker || proxied.strRequest.Find(pszMarker) < 0)
        return PROXY_GRADE_TAMPERING;

    CString strLeaks;
    if (ContainsAddress(proxied.strClient, direct.strClient)) AddGiveaway(strLeaks, "address");
    CString strRevealing;
    for (const CString& strLine : proxied.headers) {
        CString strName, strValue;
        if (!SplitHeaderLine(strLine, strName, strValue)) continue;
        if (!CarriesHeaderLine(direct, strLine) && ContainsAddress(strValue, direct.strClient))
            AddGiveaway(strLeaks, strName);
        if (IsProxyRevealingHeader(strName) && !CarriesHeaderNamed(direct, strName)) AddGiveaway(strRevealing, strName);
    }
    if (!strLeaks.IsEmpty()) {
        rGiveaways = strLeaks;
        return PROXY_GRADE_TRANSPARENT;
    }
    if (!strRevealing.IsEmpty()) {
        rGiveaways = strRevealing;
        return PROXY_GRADE_ANONYMOUS;
    }
    return PROXY_GRADE_ELITE;
}

CString FormatGradeLine(EProxyGrade eGrade, const CString& strGiveaways)
{
    // The grade's word, then what it means for the user: the word alone
    // says nothing to someone who never read about proxy grades.
    CString strLine = CString("Grade: ") + ProxyGradeName(eGrade);
    switch (eGrade) {
    case PROXY_GRADE_ELITE: strLine += ": web sites see neither your address nor a proxy"; break;
    case PROXY_GRADE_ANONYMOUS: strLine += ": it hides your address, but web sites see a proxy"; break;
    case PROXY_GRADE_TRANSPARENT: strLine += ": it passes your address on"; break;
    case PROXY_GRADE_TAMPERING: strLine += ": it changes the pages it passes on"; break;
    case PROXY_GRADE_DEAD: strLine += ": no answer came through it"; break;
    default: break;
    }
    if ((eGrade == PROXY_GRADE_TRANSPARENT || eGrade == PROXY_GRADE_ANONYMOUS) && !strGiveaways.IsEmpty())
        strLine += CString(" (") + strGiveaways + ")";
    return strLine;
}
