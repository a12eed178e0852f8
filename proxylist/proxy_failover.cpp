// The failover choice and the state tip, from the stored results.
#include "proxy_failover.h"

#include "framework/core/text_number.h"
#include "proxy/internal/self_target.h"
#include "proxy_entry.h"

namespace {

// The tip field holds 128 characters with its terminating zero.
const int kMaxTipLength = 127;

BOOL NamesHostAndPort(LPCTSTR pszEntry)
{
    CProxyAddress address;
    ReadProxyEntry(pszEntry, address);
    address.strHost.Trim();
    return !address.strHost.IsEmpty() && CwIsTcpPort(address.nPort);
}

// "elite, 42 ms" or "elite, HTTPS, 42 ms": a grade's word, the HTTPS mark
// when tested, a number and "ms".
BOOL IsStateMark(const CString& strInside)
{
    int nComma = strInside.Find(", ");
    if (nComma <= 0) return FALSE;
    if (ProxyGradeFromName(strInside.Left(nComma)) == PROXY_GRADE_UNTESTED) return FALSE;
    CString strFigure = strInside.Mid(nComma + 2);
    for (int i = HTTPS_NONE; i <= HTTPS_CARRIED; ++i) {
        CString strMark = CString(HttpsOutcomeMark(static_cast<EHttpsOutcome>(i))) + ", ";
        if (strFigure.Left(strMark.GetLength()) == strMark) {
            strFigure = strFigure.Mid(strMark.GetLength());
            break;
        }
    }
    if (strFigure.GetLength() < 4 || strFigure.Right(3) != " ms") return FALSE;
    strFigure = strFigure.Left(strFigure.GetLength() - 3);
    for (int i = 0; i < strFigure.GetLength(); ++i)
        if (strFigure[i] < '0' || strFigure[i] > '9') return FALSE;
    return TRUE;
}

} // namespace

CString FormatProxyState(LPCTSTR pszEntry, const CProxyResults& results)
{
    CStoredProxyResult result;
    if (!pszEntry || !results.Lookup(pszEntry, result) || result.eGrade == PROXY_GRADE_UNTESTED) return CString();
    if (result.eGrade == PROXY_GRADE_DEAD) return "(dead)";
    CString strState;
    CString strHttps = HttpsOutcomeMark(result.eHttps);
    if (!strHttps.IsEmpty()) strHttps += ", ";
    strState.Format("(%s, %s%d ms)", ProxyGradeName(result.eGrade), strHttps.GetString(), result.nResponseMs);
    return strState;
}

CString FormatProxyChoice(LPCTSTR pszEntry, const CProxyResults& results)
{
    CString strState = FormatProxyState(pszEntry, results);
    CString strEntry = pszEntry ? pszEntry : "";
    return strState.IsEmpty() ? strEntry : strEntry + " " + strState;
}

CString EntryFromChoiceText(const CString& strText)
{
    CString strEntry = EntryFromRankedText(strText);
    if (strEntry != strText) return strEntry;
    int nOpen = strText.ReverseFind('(');
    if (nOpen < 1 || strText[nOpen - 1] != ' ' || strText.Right(1) != ")") return strText;
    if (!IsStateMark(strText.Mid(nOpen + 1, strText.GetLength() - nOpen - 2))) return strText;
    return strText.Left(nOpen - 1);
}

BOOL NamesOwnListener(LPCTSTR pszEntry)
{
    CProxyAddress address;
    ReadProxyEntry(pszEntry, address);
    CString strHost = address.strHost;
    strHost.Trim();
    if (address.nPort != OWN_LISTENER_PORT || strHost.IsEmpty()) return FALSE;
    // The same test the local proxy makes of a request for itself, so every
    // spelling it refuses is skipped here too.
    if (strHost.Find(':') >= 0) strHost = "[" + strHost + "]";
    return IsLoopbackHost(strHost.str()) ? TRUE : FALSE;
}

BOOL IsTorEntry(LPCTSTR pszEntry)
{
    CString strEntry = pszEntry ? pszEntry : "";
    strEntry.TrimRight();
    if (strEntry.GetLength() > 6 && strEntry.Right(6) == " (Tor)") return TRUE;
    CProxyAddress address;
    ReadProxyEntry(pszEntry, address);
    if (address.scheme != PROXY_SCHEME_SOCKS5 && address.scheme != PROXY_SCHEME_SOCKS5H) return FALSE;
    return (address.nPort == 9050 || address.nPort == 9150) && IsLoopbackHost(address.strHost.str());
}

void PickFailoverCandidates(const CStringList& entries, const CProxyResults& results, LPCTSTR pszFailed,
                            BOOL bNeedHttps, int nMax, std::vector<CString>& rCandidates)
{
    rCandidates.clear();
    if (IsTorEntry(pszFailed)) return;
    CStoredProxyResult failed;
    EProxyGrade eAtLeast = PROXY_GRADE_ANONYMOUS;
    BOOL bKnown = results.Lookup(pszFailed, failed);
    // A proxy that replaced the judge's certificate counts as tampering,
    // on either side of the comparison.
    if (bKnown && RankingGrade(failed) > eAtLeast) eAtLeast = RankingGrade(failed);
    // Secure pages that worked through the user's choice keep working.
    if (bKnown && failed.eHttps == HTTPS_CARRIED) bNeedHttps = TRUE;
    CString strFailedKey = ProxyResultKey(pszFailed);

    // The ranked order is the user's order of preference as the combo box
    // shows it; within it, an entry that carries secure pages goes before
    // one that does not.
    CStringList ranked;
    RankProxyEntries(entries, results, ranked);
    std::vector<CString> withHttps, without;
    for (POSITION pos = ranked.GetHeadPosition(); pos;) {
        CString strEntry = EntryFromRankedText(ranked.GetNext(pos));
        CStoredProxyResult result;
        if (!results.Lookup(strEntry, result) || RankingGrade(result) < eAtLeast) continue;
        if (ProxyResultKey(strEntry) == strFailedKey || !NamesHostAndPort(strEntry)) continue;
        if (NamesOwnListener(strEntry)) continue;
        if (result.eHttps == HTTPS_CARRIED)
            withHttps.push_back(strEntry);
        else if (!bNeedHttps)
            without.push_back(strEntry);
    }
    for (std::vector<CString>* pGroup : {&withHttps, &without})
        for (const CString& strEntry : *pGroup)
            if (static_cast<int>(rCandidates.size()) < nMax) rCandidates.push_back(strEntry);
}

BOOL PickFailoverEntry(const CStringList& entries, const CProxyResults& results, LPCTSTR pszFailed, CString& rChosen)
{
    std::vector<CString> candidates;
    PickFailoverCandidates(entries, results, pszFailed, FALSE, 1, candidates);
    rChosen = candidates.empty() ? CString() : candidates.front();
    return !candidates.empty();
}

CString FormatStateTip(LPCTSTR pszProxy, const CProxyResults& results)
{
    if (!pszProxy || !*pszProxy) return "Cloakwall: anonymous browsing off";
    // The same words as the proxy list's.
    CString strState = FormatProxyState(pszProxy, results);
    strState = " " + (strState.IsEmpty() ? CString("(untested)") : strState);
    CString strLead = "Cloakwall: on via ";
    CString strProxy = ProxyResultKey(pszProxy);
    int nRoom = kMaxTipLength - strLead.GetLength() - strState.GetLength();
    if (strProxy.GetLength() > nRoom) strProxy = strProxy.Left(nRoom - 3) + "...";
    return strLead + strProxy + strState;
}
