// Failover and the state the tray shows: when the chosen upstream refuses
// connection after connection, the dialog first looks around (the proxy it
// would move to, the chosen one, a few others). When another answers, the
// local proxy moves to the best tested proxy that is as good and the user is
// told in a balloon; with none left, browsing stops (nothing goes out
// directly) and the balloon says how to choose another. When nothing
// answers, the user's own network is the likely cause: nothing is stored,
// the choice stays, the balloon says so once, and the local proxy keeps
// listening, so browsing comes back by itself with the network. The tip
// always names the state.
#include "ui/settings_dlg.h"

#include "proxylist/failover_probe.h"
#include "proxylist/proxy_failover.h"
#include "settings/proxy_account_settings.h"
#include "settings/settings_store.h"

#include <ctime>

namespace {

// The look around is a few connects; the program's reachability check has
// time enough for them.
const UINT kProbeGraceMs = 250;
// While nothing answers, the dialog looks again this often: the chosen
// proxy back means nothing to do, another one back means failover.
const UINT kOutageRetryMs = 5000;
// Other entries asked when there is no candidate, to tell a dead proxy
// from a dead network.
const int kProbeOthers = 3;

} // namespace

LRESULT CSettingsDlg::OnUpstreamDown(WPARAM wParam, LPARAM)
{
    // A notice from a proxy switched off or replaced since is no one's: the
    // connections of an earlier start still report on the proxy they had.
    if (m_bExiting || !m_bEnabled || m_strActiveProxy.IsEmpty() || !m_proxyServer.IsRunning()) return 0;
    if (static_cast<unsigned int>(wParam) != m_proxyServer.GetStartSerial()) return 0;
    StartFailoverProbe();
    return 0;
}

void CSettingsDlg::StartFailoverProbe()
{
    if (m_probeJob.IsRunning()) return;
    CFailoverProbe probe;
    probe.strChosen = m_strActiveProxy;
    CStringList entries;
    GetEntriesInForce(entries);
    PickFailoverEntry(entries, m_results, m_strActiveProxy, probe.strCandidate);
    PickProbeOthers(entries, m_results, probe.strChosen, probe.strCandidate, kProbeOthers, probe.others);
    auto pResult = std::make_shared<int>(FAILOVER_PROBE_NOTHING_ANSWERS);
    DWORD dwLimitMs = GetNetJobLimits().dwReachabilityMs;
    if (!m_probeJob.Start(
            dwLimitMs, [probe, pResult](const CNetDeadline& deadline) { *pResult = RunFailoverProbe(probe, deadline); },
            m_hWnd, WM_FAILOVER_PROBED))
        return;
    m_pProbeResult = pResult;
    m_nProbedStart = m_proxyServer.GetStartSerial();
    m_strProbeCandidate = probe.strCandidate;
    SetTimer(PROBE_DEADLINE_TIMER, dwLimitMs + kProbeGraceMs);
}

LRESULT CSettingsDlg::OnFailoverProbed(WPARAM wParam, LPARAM)
{
    if (wParam == m_probeJob.GetSerial() && m_pProbeResult) FinishFailoverProbe(TRUE);
    return 0;
}

void CSettingsDlg::FinishFailoverProbe(BOOL bInTime)
{
    KillTimer(PROBE_DEADLINE_TIMER);
    bInTime = bInTime && m_probeJob.IsFinished();
    m_probeJob.Cancel();
    std::shared_ptr<int> pResult;
    pResult.swap(m_pProbeResult);
    if (!pResult || m_bExiting) return;
    // The switch moved on meanwhile: what was found is about a proxy left.
    if (!m_bEnabled || m_strActiveProxy.IsEmpty() || m_nProbedStart != m_proxyServer.GetStartSerial()) return;
    // A look around that ran out of time found no one answering.
    EFailoverProbe eFound = bInTime ? static_cast<EFailoverProbe>(*pResult) : FAILOVER_PROBE_NOTHING_ANSWERS;

    switch (eFound) {
    case FAILOVER_PROBE_CHOSEN_ANSWERS:
        // The proxy in force answers again: browsing goes on through it.
        StopOutageWatch();
        return;
    case FAILOVER_PROBE_NOTHING_ANSWERS:
        // Most likely the user's own network: no proxy is to blame, so none
        // is stored dead and the choice stays; the local proxy keeps
        // forwarding to it, so pages come back with the network.
        if (!m_bOutageTold) ShowNotice("Cloakwall", NO_PROXY_ANSWERS_TEXT);
        m_bOutageTold = TRUE;
        SetTimer(OUTAGE_RETRY_TIMER, kOutageRetryMs);
        return;
    case FAILOVER_PROBE_CANDIDATE_ANSWERS:
    case FAILOVER_PROBE_OTHERS_ANSWER:
        StopOutageWatch();
        FailOver(m_strActiveProxy, eFound == FAILOVER_PROBE_CANDIDATE_ANSWERS ? m_strProbeCandidate : CString());
        return;
    }
}

void CSettingsDlg::StopOutageWatch()
{
    KillTimer(OUTAGE_RETRY_TIMER);
    KillTimer(PROBE_DEADLINE_TIMER);
    m_probeJob.Cancel();
    m_pProbeResult.reset();
    m_bOutageTold = FALSE;
}

void CSettingsDlg::FailOver(const CString& strFailed, const CString& strNext)
{
    // What the connections found is a result too: the failed proxy goes to
    // the end of the list, and the next failover does not come back to it.
    CStoredProxyResult dead;
    m_results.Lookup(strFailed, dead);
    dead.eGrade = PROXY_GRADE_DEAD;
    dead.nResponseMs = 0;
    dead.strGiveaways.Empty();
    dead.nTestedAt = static_cast<long long>(time(nullptr));
    m_results.Set(strFailed, dead);
    SaveProxyResults();

    CString strFailedKey = ProxyResultKey(strFailed);
    CString strText;
    if (strNext.IsEmpty()) {
        // The local proxy stays on the failed proxy: the browser gets errors,
        // never a direct connection.
        // Broken into lines: a balloon that does not wrap (Wine's) still
        // shows all of it.
        strText.Format("%s refused %d connections in a row,\nand no other tested proxy is as good.\nBrowsing has "
                       "stopped. Choose another proxy:\n\"Configuration\" in the tray menu, or \"Test All Proxies\".",
                       strFailedKey.GetString(), UPSTREAM_FAILURES_BEFORE_FAILOVER);
        FillProxyCombo(m_entries);
        UpdateStateTip();
        ShowNotice("Cloakwall: browsing stopped", strText);
        return;
    }

    StartLocalProxy(strNext);
    StoreProxyName(strNext);
    FillProxyCombo(m_entries);
    m_comboProxy.SetWindowText(ShownEntry(strNext));
    strText.Format("%s refused %d connections in a row.\nAnonymous browsing now goes through %s %s.",
                   strFailedKey.GetString(), UPSTREAM_FAILURES_BEFORE_FAILOVER, ProxyResultKey(strNext).GetString(),
                   FormatProxyState(strNext, m_results).GetString());
    ShowNotice("Cloakwall switched proxies", strText);
}

void CSettingsDlg::UpdateStateTip()
{
    SetTrayTip(FormatStateTip(m_strActiveProxy, m_results));
    ModifyTrayIcon();
}

void CSettingsDlg::ShowNotice(LPCTSTR pszTitle, LPCTSTR pszText)
{
    // The dialog on screen has no icon: the notice goes where the user looks.
    if (!ShowTrayBalloon(pszTitle, pszText)) SetStatusText(pszText);
}
