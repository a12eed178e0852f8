// The failover choice and the state tip, from the stored results.
#include "proxy_failover.h"

#include "framework/core/text_number.h"
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

} // namespace

BOOL PickFailoverEntry(const CStringList& entries, const CProxyResults& results, LPCTSTR pszFailed, CString& rChosen)
{
    rChosen.Empty();
    CStoredProxyResult failed;
    EProxyGrade eAtLeast = PROXY_GRADE_ANONYMOUS;
    if (results.Lookup(pszFailed, failed) && failed.eGrade > eAtLeast) eAtLeast = failed.eGrade;
    CString strFailedKey = ProxyResultKey(pszFailed);

    // The ranked order is the user's order of preference as the combo box
    // shows it: the first that qualifies is the best.
    CStringList ranked;
    RankProxyEntries(entries, results, ranked);
    for (POSITION pos = ranked.GetHeadPosition(); pos;) {
        CString strEntry = EntryFromRankedText(ranked.GetNext(pos));
        CStoredProxyResult result;
        if (!results.Lookup(strEntry, result) || result.eGrade < eAtLeast) continue;
        if (ProxyResultKey(strEntry) == strFailedKey || !NamesHostAndPort(strEntry)) continue;
        rChosen = strEntry;
        return TRUE;
    }
    return FALSE;
}

CString FormatStateTip(LPCTSTR pszProxy, const CProxyResults& results)
{
    if (!pszProxy || !*pszProxy) return "Cloakwall: anonymous browsing off";
    CStoredProxyResult result;
    CString strState;
    if (results.Lookup(pszProxy, result))
        strState.Format(" (%s, %d ms)", ProxyGradeName(result.eGrade), result.nResponseMs);
    else
        strState = " (untested)";
    CString strLead = "Cloakwall: on via ";
    CString strProxy = ProxyResultKey(pszProxy);
    int nRoom = kMaxTipLength - strLead.GetLength() - strState.GetLength();
    if (strProxy.GetLength() > nRoom) strProxy = strProxy.Left(nRoom - 3) + "...";
    return strLead + strProxy + strState;
}
