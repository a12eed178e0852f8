// Grading a proxy from two judge answers.
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

BOOL CarriesHeaderNamed(const CJudgeAnswer& answer, const CString& strName)
{
    for (const CString& strLine : answer.headers) {
        CString strHeader, strValue;
        if (SplitHeaderLine(strLine, strHeader, strValue) && SameHeaderName(strHeader, strName)) return TRUE;
    }
    return FALSE;
}

BOOL Holds(const std::vector<CString>& addresses, const CString& strAddress)
{
    for (const CString& strOne : addresses)
        if (strOne == strAddress) return TRUE;
    return FALSE;
}

// The same addresses, in any order, and at least one.
BOOL SameAddresses(const CString& strText, const CString& strOther)
{
    std::vector<CString> one, other;
    FindAddresses(strText, one);
    FindAddresses(strOther, other);
    if (one.empty() || one.size() != other.size()) return FALSE;
    for (const CString& strAddress : one)
        if (!Holds(other, strAddress)) return FALSE;
    return TRUE;
}

// The addresses the direct request showed of the user; rbFront tells
// whether its client was a front of the judge's (see GradeJudgeAnswers).
std::vector<CString> UserAddresses(const CJudgeAnswer& direct, const CJudgeAnswer& proxied, BOOL& rbFront)
{
    std::vector<CString> client, inHeaders;
    FindAddresses(direct.strClient, client);
    for (const CString& strLine : direct.headers) {
        CString strName, strValue;
        if (SplitHeaderLine(strLine, strName, strValue) && !SameHeaderName(strName, "Host"))
            FindAddresses(strValue, inHeaders);
    }
    std::vector<CString> user;
    for (const CString& strAddress : inHeaders)
        if (!Holds(client, strAddress) && !Holds(user, strAddress)) user.push_back(strAddress);
    rbFront = !user.empty() && SameAddresses(direct.strClient, proxied.strClient);
    if (!rbFront)
        for (const CString& strAddress : client) user.push_back(strAddress);
    return user;
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

EJudgeBaseline ReadJudgeBaseline(DWORD dwStatus, const CString& strBody, CJudgeAnswer& rDirect)
{
    if (dwStatus != 200 || !ParseJudgeAnswer(strBody, rDirect) || !rDirect.bIntact) return JUDGE_BASELINE_NONE;
    std::vector<CString> client;
    FindAddresses(rDirect.strClient, client);
    return client.empty() ? JUDGE_BASELINE_BLIND : JUDGE_BASELINE_READY;
}

EProxyGrade GradeProxiedAnswer(const CJudgeAnswer& direct, DWORD dwStatus, const CString& strBody, LPCTSTR pszMarker,
                               CString& rGiveaways)
{
    rGiveaways.Empty();
    if (dwStatus != 200) return PROXY_GRADE_DEAD;
    // A page of the proxy's own in place of the judge's is a change too.
    CJudgeAnswer proxied;
    if (!ParseJudgeAnswer(strBody, proxied)) return PROXY_GRADE_TAMPERING;
    return GradeJudgeAnswers(direct, proxied, pszMarker, rGiveaways);
}

EProxyGrade GradeJudgeTexts(const CString& strDirect, const CString& strProxied, LPCTSTR pszMarker, CString& rGiveaways)
{
    rGiveaways.Empty();
    CJudgeAnswer direct;
    if (ReadJudgeBaseline(200, strDirect, direct) != JUDGE_BASELINE_READY) return PROXY_GRADE_UNTESTED;
    return GradeProxiedAnswer(direct, 200, strProxied, pszMarker, rGiveaways);
}

EProxyGrade GradeJudgeAnswers(const CJudgeAnswer& direct, const CJudgeAnswer& proxied, LPCTSTR pszMarker,
                              CString& rGiveaways)
{
    rGiveaways.Empty();
    std::vector<CString> client;
    FindAddresses(direct.strClient, client);
    if (client.empty()) return PROXY_GRADE_UNTESTED;
    // Pages without a checksum show a change by a lost marker or a script
    // the judge did not write.
    if (!proxied.bIntact || proxied.eStyle != direct.eStyle || !pszMarker || !*pszMarker ||
        proxied.strRequest.Find(pszMarker) < 0 || proxied.nScripts > direct.nScripts)
        return PROXY_GRADE_TAMPERING;

    BOOL bFront = FALSE;
    std::vector<CString> user = UserAddresses(direct, proxied, bFront);
    CString strLeaks;
    if (!bFront && HoldsAnyAddress(proxied.strClient, user)) AddGiveaway(strLeaks, "address");
    CString strRevealing;
    for (const CString& strLine : proxied.headers) {
        CString strName, strValue;
        if (!SplitHeaderLine(strLine, strName, strValue)) continue;
        // It names the judge, which may share the user's address.
        if (SameHeaderName(strName, "Host")) continue;
        if (HoldsAnyAddress(strValue, user)) AddGiveaway(strLeaks, strName);
        std::vector<CString> anyAddress;
        FindAddresses(strValue, anyAddress);
        if ((IsProxyRevealingHeader(strName) || !anyAddress.empty()) && !CarriesHeaderNamed(direct, strName))
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
