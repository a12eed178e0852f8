// Grading a proxy from the judge's answer through it.
#include "proxy_grade.h"

#include "text_address.h"

#include <cstring>
#include <vector>

namespace {

const char* const kGradeNames[] = {"untested", "dead", "tampering", "transparent", "anonymous", "elite"};

// Headers that no browser sends and many proxies add.
const char* const kRevealing[] = {"Via",         "Forwarded",        "Forwarded-For",    "Forwarded-For-IP",
                                  "X-Forwarded", "Proxy-Connection", "Client-IP",        "X-Client-IP",
                                  "X-Real-IP",   "True-Client-IP",   "X-Originating-IP", "X-Cluster-Client-IP",
                                  "Proxy-Agent", "X-BlueCoat-Via",   "Cache-Info"};
// Any header that starts so.
const char* const kRevealingPrefixes[] = {"X-Forwarded-", "X-Proxy-", "Proxy-"};

// Headers whose addresses name proxies on the way, or the judge itself
// ("X-Forwarded-Host"), not anybody's client.
BOOL NamesNoClient(const CString& strName)
{
    CString strEnd = strName.Right(5);
    return SameHeaderName(strName, "Via") || SameHeaderName(strName, "Proxy-Agent") ||
           (strName.GetLength() > 5 && SameHeaderName(strEnd, "-Host"));
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

namespace {

// By EHttpsOutcome: the file's word and the list's.
const char* const kHttpsNames[] = {"untested", "no-https", "tampers", "https"};
const char* const kHttpsMarks[] = {"", "no HTTPS", "tampers with HTTPS", "HTTPS"};

int HttpsIndex(EHttpsOutcome eHttps)
{
    int nIndex = static_cast<int>(eHttps);
    return nIndex < 0 || nIndex > HTTPS_CARRIED ? HTTPS_UNTESTED : nIndex;
}

} // namespace

LPCTSTR HttpsOutcomeName(EHttpsOutcome eHttps)
{
    return kHttpsNames[HttpsIndex(eHttps)];
}

EHttpsOutcome HttpsOutcomeFromName(LPCTSTR pszName)
{
    for (int i = 0; i <= HTTPS_CARRIED; ++i)
        if (pszName && std::strcmp(pszName, kHttpsNames[i]) == 0) return static_cast<EHttpsOutcome>(i);
    return HTTPS_UNTESTED;
}

LPCTSTR HttpsOutcomeMark(EHttpsOutcome eHttps)
{
    return kHttpsMarks[HttpsIndex(eHttps)];
}

CString FormatHttpsLine(EHttpsOutcome eHttps)
{
    switch (eHttps) {
    case HTTPS_CARRIED: return "HTTPS: yes";
    case HTTPS_NONE: return "HTTPS: no: secure pages will not load through it";
    case HTTPS_TAMPERED: return "HTTPS: the proxy replaced the site's certificate: it can read your secure pages";
    default: return CString();
    }
}

BOOL IsProxyRevealingHeader(LPCTSTR pszName)
{
    CString strName(pszName);
    for (const char* pszKnown : kRevealing)
        if (SameHeaderName(strName, pszKnown)) return TRUE;
    for (const char* pszPrefix : kRevealingPrefixes) {
        int nLen = static_cast<int>(std::strlen(pszPrefix));
        if (strName.GetLength() > nLen && SameHeaderName(strName.Left(nLen), pszPrefix)) return TRUE;
    }
    return FALSE;
}

EProxyGrade GradeProxiedAnswer(DWORD dwStatus, const CString& strBody, LPCTSTR pszMarker, CString& rGiveaways)
{
    rGiveaways.Empty();
    if (dwStatus != 200) return PROXY_GRADE_DEAD;
    // A page of the proxy's own in place of the judge's is a change too.
    CJudgeAnswer proxied;
    if (!ParseJudgeAnswer(strBody, proxied)) return PROXY_GRADE_TAMPERING;
    return GradeJudgeAnswer(proxied, pszMarker, rGiveaways);
}

EProxyGrade GradeJudgeAnswer(const CJudgeAnswer& proxied, LPCTSTR pszMarker, CString& rGiveaways)
{
    rGiveaways.Empty();
    // Our own judge signs its page; the others show a change by a lost
    // marker or a script, which no judge's echo holds.
    BOOL bScripted = proxied.eStyle != JUDGE_STYLE_OWN && proxied.nScripts > 0;
    if (!proxied.bIntact || bScripted || !pszMarker || !*pszMarker || proxied.strRequest.Find(pszMarker) < 0)
        return PROXY_GRADE_TAMPERING;

    CString strLeaks, strRevealing;
    // The judge's record of who connected is the proxy; a judge that folds
    // forwarded addresses into it (an echo service's "origin") shows more.
    std::vector<CString> client;
    FindAddresses(proxied.strClient, client);
    if (client.size() > 1) AddGiveaway(strLeaks, "X-Forwarded-For");
    for (const CString& strLine : proxied.headers) {
        CString strName, strValue;
        // A line without a name names nothing to show; Host names the judge.
        if (!SplitHeaderLine(strLine, strName, strValue) || strName.IsEmpty()) continue;
        if (SameHeaderName(strName, "Host")) continue;
        std::vector<CString> addresses;
        FindAddresses(strValue, addresses);
        if (!addresses.empty() && !NamesNoClient(strName))
            AddGiveaway(strLeaks, strName);
        else if (!addresses.empty() || IsProxyRevealingHeader(strName))
            AddGiveaway(strRevealing, strName);
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
    case PROXY_GRADE_ELITE: strLine += " - web sites see neither your address nor a proxy"; break;
    case PROXY_GRADE_ANONYMOUS: strLine += " - it hides your address, but web sites see a proxy"; break;
    case PROXY_GRADE_TRANSPARENT: strLine += " - it passes an address on"; break;
    case PROXY_GRADE_TAMPERING: strLine += " - it changes the pages it passes on"; break;
    case PROXY_GRADE_DEAD: strLine += " - no answer came through it"; break;
    default: break;
    }
    if ((eGrade == PROXY_GRADE_TRANSPARENT || eGrade == PROXY_GRADE_ANONYMOUS) && !strGiveaways.IsEmpty())
        strLine += CString(" (") + strGiveaways + ")";
    return strLine;
}
