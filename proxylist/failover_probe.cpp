// The look around before a failover: the judge asked through each proxy in
// turn.
#include "failover_probe.h"

#include "https_probe.h"
#include "judge_answer.h"
#include "judge_client.h"
#include "proxy_failover.h"
#include "proxy_results.h"
#include "upstream_fetch.h"

#include <algorithm>

namespace {

// One proxy's share of the probe: an answer that has not come by then is
// not coming soon, and the next proxy gets its turn.
const DWORD kOneProxyMs = 3000;
// The chosen proxy's share once a candidate has answered: enough to tell a
// refusal from silence, and the move is not held up for long.
const DWORD kWhyChosenMs = 1500;

BOOL Holds(const std::vector<CString>& entries, const CString& strKey)
{
    for (const CString& strEntry : entries)
        if (ProxyResultKey(strEntry) == strKey) return TRUE;
    return FALSE;
}

} // namespace

LPCTSTR ProxyFaultText(EProxyFault eFault)
{
    switch (eFault) {
    case PROXY_FAULT_REFUSED: return "refused the connections";
    case PROXY_FAULT_SILENT: return "did not answer";
    case PROXY_FAULT_ACCOUNT: return "refused the account";
    case PROXY_FAULT_ERROR: return "answered every request with an error";
    case PROXY_FAULT_NO_HTTPS: return "does not carry secure (https) pages";
    default: return "works";
    }
}

EProxyFault AskThroughProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, DWORD dwLimitMs)
{
    if (!pszEntry || !*pszEntry || deadline.IsOver()) return PROXY_FAULT_SILENT;
    std::vector<CJudgeTarget> judges = ReadJudgeTargets(pszJudgeUrl);
    if (judges.empty()) return PROXY_FAULT_ERROR;
    const CJudgeTarget& judge = judges.front();
    CUpstreamConfig upstream;
    UpstreamFromEntry(pszEntry, upstream);
    CJobDialPolicy policy(deadline, dwLimitMs);
    CUpstreamFetch fetch;
    // The judge's name goes to the proxy as it stands: looking it up here
    // would tell the user's resolver where the user is going.
    BOOL bAnswered = FetchThroughUpstream(upstream, judge.strHost, judge.nPort,
                                          BuildJudgeRequest(judge, upstream, MakeJudgeMarker()), policy, fetch);
    if (bAnswered) {
        if (fetch.dwStatus == 200) return PROXY_FAULT_NONE;
        return fetch.dwStatus == 407 ? PROXY_FAULT_ACCOUNT : PROXY_FAULT_ERROR;
    }
    switch (fetch.dial.eFailure) {
    case DIAL_OK:
    case DIAL_TIMED_OUT: return PROXY_FAULT_SILENT;
    case DIAL_SOCKS_FAILED:
        if (fetch.dial.eSocksError == SOCKS_ERROR_ACCOUNT_REFUSED ||
            fetch.dial.eSocksError == SOCKS_ERROR_ACCOUNT_WANTED)
            return PROXY_FAULT_ACCOUNT;
        // It answered, as a proxy that cannot reach the judge does.
        return fetch.dial.UpstreamWorks() ? PROXY_FAULT_ERROR : PROXY_FAULT_SILENT;
    default: return PROXY_FAULT_REFUSED;
    }
}

CFailoverFinding RunFailoverProbe(const CFailoverProbe& probe, const CNetDeadline& deadline)
{
    CFailoverFinding finding;
    // With no https:// judge to ask, the stored results that put the
    // candidates here are all there is to go by.
    CJudgeTarget httpsJudge;
    BOOL bTunnels = probe.bNeedHttps && FindHttpsJudge(probe.strJudgeUrl, httpsJudge);
    for (const CString& strCandidate : probe.candidates) {
        if (AskThroughProxy(strCandidate, probe.strJudgeUrl, deadline, kOneProxyMs) != PROXY_FAULT_NONE) continue;
        if (bTunnels) {
            EHttpsOutcome eHttps = TestEntryHttps(strCandidate, probe.strJudgeUrl, deadline, kOneProxyMs);
            // A look cut short by the deadline found nothing out.
            if (eHttps != HTTPS_UNTESTED) finding.tunnels.push_back({strCandidate, eHttps});
            if (eHttps != HTTPS_CARRIED) continue;
        }
        finding.strCandidate = strCandidate;
        break;
    }
    BOOL bCandidate = !finding.strCandidate.IsEmpty();
    if (probe.bAskChosen) {
        // Asked after a candidate answered too, more briefly: the notice
        // names what the chosen proxy does, and one that works again stays.
        finding.eChosenFault =
            AskThroughProxy(probe.strChosen, probe.strJudgeUrl, deadline, bCandidate ? kWhyChosenMs : kOneProxyMs);
        if (finding.eChosenFault == PROXY_FAULT_NONE) {
            finding.eFound = FAILOVER_PROBE_CHOSEN_ANSWERS;
            finding.strCandidate.Empty();
            return finding;
        }
    } else {
        finding.eChosenFault = PROXY_FAULT_NO_HTTPS;
    }
    if (bCandidate) {
        finding.eFound = FAILOVER_PROBE_CANDIDATE_ANSWERS;
        return finding;
    }
    for (const CString& strOther : probe.others) {
        if (AskThroughProxy(strOther, probe.strJudgeUrl, deadline, kOneProxyMs) != PROXY_FAULT_NONE) continue;
        finding.eFound = FAILOVER_PROBE_OTHERS_ANSWER;
        return finding;
    }
    finding.eFound = FAILOVER_PROBE_NOTHING_ANSWERS;
    return finding;
}

void PickProbeOthers(const CStringList& entries, const CProxyResults& results, LPCTSTR pszChosen,
                     const std::vector<CString>& candidates, int nCount, std::vector<CString>& rOthers)
{
    rOthers.clear();
    CString strChosenKey = ProxyResultKey(pszChosen);
    CStringList ranked;
    RankProxyEntries(entries, results, ranked);
    for (POSITION pos = ranked.GetHeadPosition(); pos && static_cast<int>(rOthers.size()) < nCount;) {
        CString strEntry = EntryFromRankedText(ranked.GetNext(pos));
        CString strKey = ProxyResultKey(strEntry);
        if (strKey == strChosenKey || Holds(candidates, strKey) || NamesOwnListener(strEntry)) continue;
        rOthers.push_back(strEntry);
    }
}
