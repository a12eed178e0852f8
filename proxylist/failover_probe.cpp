// The look around before a failover: a connect to each proxy in turn.
#include "failover_probe.h"

#include "proxy_results.h"
#include "proxy_tester.h"
#include "upstream_fetch.h"

#include <algorithm>

namespace {

// One proxy's share of the probe: a connect that has not come by then is
// not coming soon, and the next proxy gets its turn.
const DWORD kOneProxyMs = 3000;

BOOL Answers(const CString& strEntry, const CNetDeadline& deadline)
{
    if (strEntry.IsEmpty() || deadline.IsOver()) return FALSE;
    CNetDeadline one(std::min<DWORD>(deadline.RemainingMs(), kOneProxyMs));
    // Whatever kind of proxy the entry names, a connect to it says it is there.
    CUpstreamConfig upstream;
    UpstreamFromEntry(strEntry, upstream);
    CString strError;
    return CheckProxyReachableWithin(upstream.strUpstreamHost, upstream.nUpstreamPort, one, strError);
}

} // namespace

EFailoverProbe RunFailoverProbe(const CFailoverProbe& probe, const CNetDeadline& deadline)
{
    if (Answers(probe.strCandidate, deadline)) return FAILOVER_PROBE_CANDIDATE_ANSWERS;
    if (Answers(probe.strChosen, deadline)) return FAILOVER_PROBE_CHOSEN_ANSWERS;
    for (const CString& strOther : probe.others)
        if (Answers(strOther, deadline)) return FAILOVER_PROBE_OTHERS_ANSWER;
    return FAILOVER_PROBE_NOTHING_ANSWERS;
}

void PickProbeOthers(const CStringList& entries, const CProxyResults& results, LPCTSTR pszChosen, LPCTSTR pszCandidate,
                     int nCount, std::vector<CString>& rOthers)
{
    rOthers.clear();
    CString strChosenKey = ProxyResultKey(pszChosen);
    CString strCandidateKey = ProxyResultKey(pszCandidate);
    CStringList ranked;
    RankProxyEntries(entries, results, ranked);
    for (POSITION pos = ranked.GetHeadPosition(); pos && static_cast<int>(rOthers.size()) < nCount;) {
        CString strEntry = EntryFromRankedText(ranked.GetNext(pos));
        CString strKey = ProxyResultKey(strEntry);
        if (strKey == strChosenKey || strKey == strCandidateKey) continue;
        rOthers.push_back(strEntry);
    }
}
