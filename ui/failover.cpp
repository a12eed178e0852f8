// Failover and the state the tray shows: when the chosen upstream fails
// connection after connection (refused, silent, or refusing the account),
// or refuses the browser's tunnels for secure pages, the dialog first looks
// around, asking the judge through each proxy as a test does: the proxies
// it may move to, the chosen one, a few others. When a candidate answers,
// the local proxy moves to it and the user is told in a balloon. When none
// does, the choice stays, the status line and one balloon say that browsing
// through it stopped and why, and the look around repeats every few seconds
// (a proxy that only refuses tunnels still carries plain pages, and is not
// watched). When nothing at all answers, the user's own network is the
// likely cause and the notice says so. The tip always names the state.
#include "ui/settings_dlg.h"

#include "proxylist/failover_probe.h"
#include "proxylist/judge_answer.h"
#include "proxylist/proxy_failover.h"
#include "settings/proxy_account_settings.h"
#include "settings/settings_store.h"

#include <ctime>

namespace {

// The look around is a few requests; the program's reachability check has
// time enough for them.
const UINT kProbeGraceMs = 250;
// While nothing answers, the dialog looks again this often: the chosen
// proxy back means nothing to do, another one back means failover.
const UINT kOutageRetryMs = 5000;
// Candidates asked, best first, and other entries asked when none of them
// nor the chosen one answers, to tell a dead proxy from a dead network.
const int kProbeCandidates = 3;
const int kProbeOthers = 3;

} // namespace

LRESULT CSettingsDlg::OnUpstreamDown(WPARAM wParam, LPARAM)
{
    // A notice from a proxy switched off or replaced since is no one's: the
    // connections of an earlier start still report on the proxy they had.
    if (m_bExiting || !m_bEnabled || m_strActiveProxy.IsEmpty() || !m_proxyServer.IsRunning()) return 0;
    if (static_cast<unsigned int>(wParam) != m_proxyServer.GetStartSerial()) return 0;
    StartFailoverProbe(FALSE);
    return 0;
}

LRESULT CSettingsDlg::OnUpstreamNoTunnels(WPARAM wParam, LPARAM)
{
    if (m_bExiting || !m_bEnabled || m_strActiveProxy.IsEmpty() || !m_proxyServer.IsRunning()) return 0;
    if (static_cast<unsigned int>(wParam) != m_proxyServer.GetStartSerial()) return 0;
    StartFailoverProbe(TRUE);
    return 0;
}

void CSettingsDlg::StartFailoverProbe(BOOL bForHttps)
{
    if (m_probeJob.IsRunning()) return;
    CFailoverProbe probe;
    probe.strJudgeUrl = GetJudgeUrl(g_regJudgeUrl.Get(), g_regUpdateServer.Get());
    probe.strChosen = m_strActiveProxy;
    // A proxy that refuses tunnels answers plain requests: asking it would
    // only say that it works.
    probe.bAskChosen = !bForHttps;
    CStoredProxyResult chosen;
    probe.bNeedHttps = bForHttps || (m_results.Lookup(m_strActiveProxy, chosen) && chosen.eHttps == HTTPS_CARRIED);
    CStringList entries;
    GetEntriesInForce(entries);
    PickFailoverCandidates(entries, m_results, m_strActiveProxy, bForHttps, kProbeCandidates, probe.candidates);
    if (!bForHttps) PickProbeOthers(entries, m_results, probe.strChosen, probe.candidates, kProbeOthers, probe.others);
    auto pFinding = std::make_shared<CFailoverFinding>();
    DWORD dwLimitMs = GetNetJobLimits().dwReachabilityMs;
    if (!m_probeJob.Start(
            dwLimitMs,
            [probe, pFinding](const CNetDeadline& deadline) { *pFinding = RunFailoverProbe(probe, deadline); }, m_hWnd,
            WM_FAILOVER_PROBED))
        return;
    m_pProbeResult = pFinding;
    m_nProbedStart = m_proxyServer.GetStartSerial();
    m_bProbeForHttps = bForHttps;
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
    std::shared_ptr<CFailoverFinding> pFinding;
    pFinding.swap(m_pProbeResult);
    if (!pFinding || m_bExiting) return;
    // The switch moved on meanwhile: what was found is about a proxy left.
    if (!m_bEnabled || m_strActiveProxy.IsEmpty() || m_nProbedStart != m_proxyServer.GetStartSerial()) return;
    // A look around that ran out of time found no one answering.
    CFailoverFinding found;
    found.eChosenFault = PROXY_FAULT_REFUSED;
    if (bInTime) found = *pFinding;
    // What the candidates' tunnels showed is a test's result as any other.
    for (const CFailoverFinding::CTunnelTried& tried : found.tunnels) {
        CStoredProxyResult result;
        if (!m_results.Lookup(tried.strEntry, result)) continue;
        result.eHttps = tried.eHttps;
        m_results.Set(tried.strEntry, result);
    }
    if (!found.tunnels.empty()) SaveProxyResults();
    if (m_bProbeForHttps) found.eChosenFault = PROXY_FAULT_NO_HTTPS;

    switch (found.eFound) {
    case FAILOVER_PROBE_CHOSEN_ANSWERS:
        // The proxy in force answers again: browsing goes on through it.
        if (m_bOutageTold) {
            CString strBack;
            strBack.Format("%s answers again: anonymous browsing goes on through it.",
                           ProxyResultKey(m_strActiveProxy).GetString());
            SetStatusText(strBack);
        }
        StopOutageWatch();
        return;
    case FAILOVER_PROBE_CANDIDATE_ANSWERS:
        StopOutageWatch();
        FailOver(m_strActiveProxy, found.strCandidate, found.eChosenFault);
        return;
    case FAILOVER_PROBE_NOTHING_ANSWERS:
    case FAILOVER_PROBE_OTHERS_ANSWER: BrowsingStopped(found); return;
    }
}

void CSettingsDlg::BrowsingStopped(const CFailoverFinding& found)
{
    // Nothing is stored dead and the choice stays: the local proxy keeps
    // forwarding to the chosen proxy (never direct), so pages come back by
    // themselves when it answers again.
    CString strKey = ProxyResultKey(m_strActiveProxy);
    CString strText;
    if (found.eChosenFault == PROXY_FAULT_NO_HTTPS) {
        // Plain pages still go through it; only secure ones fail, so there
        // is nothing to watch, and the next run of refused tunnels looks
        // around again.
        CStoredProxyResult known;
        m_results.Lookup(m_strActiveProxy, known);
        if (known.eHttps != HTTPS_NONE) {
            known.eHttps = HTTPS_NONE;
            m_results.Set(m_strActiveProxy, known);
            SaveProxyResults();
        }
        strText.Format("%s does not carry secure (https) pages,\nand no other tested proxy as good does.\n"
                       "Choose another proxy: \"Configuration\" in the tray menu.",
                       strKey.GetString());
        SetStatusText(strText);
        ShowTrayBalloon("Cloakwall: secure pages stopped", strText);
        return;
    }
    if (found.eFound == FAILOVER_PROBE_NOTHING_ANSWERS && found.eChosenFault == PROXY_FAULT_REFUSED) {
        // Not even a connection anywhere: most likely the user's own network.
        strText = NO_PROXY_ANSWERS_TEXT;
    } else {
        // Broken into lines: a balloon that does not wrap (Wine's) still
        // shows all of it.
        strText.Format("Browsing through %s has stopped: it %s.\nCloakwall keeps trying it every few seconds.\n"
                       "Or choose another proxy: \"Configuration\" in the tray menu, or \"Test All Proxies\".",
                       strKey.GetString(), ProxyFaultText(found.eChosenFault));
    }
    if (!m_bOutageTold) {
        SetStatusText(strText);
        ShowTrayBalloon("Cloakwall: browsing stopped", strText);
    }
    m_bOutageTold = TRUE;
    SetTimer(OUTAGE_RETRY_TIMER, kOutageRetryMs);
}

void CSettingsDlg::StopOutageWatch()
{
    KillTimer(OUTAGE_RETRY_TIMER);
    KillTimer(PROBE_DEADLINE_TIMER);
    m_probeJob.Cancel();
    m_pProbeResult.reset();
    m_bOutageTold = FALSE;
}

void CSettingsDlg::FailOver(CString strFailed, CString strNext, int nFault)
{
    // What the connections found is a result too: the failed proxy goes to
    // the end of the list (or, refusing only tunnels, loses its mark for
    // secure pages), and the next failover does not come back to it.
    EProxyFault eFault = static_cast<EProxyFault>(nFault);
    CStoredProxyResult failed;
    m_results.Lookup(strFailed, failed);
    if (eFault == PROXY_FAULT_NO_HTTPS) {
        failed.eHttps = HTTPS_NONE;
    } else {
        failed.eGrade = PROXY_GRADE_DEAD;
        failed.nResponseMs = 0;
        failed.strGiveaways.Empty();
        failed.nTestedAt = static_cast<long long>(time(nullptr));
    }
    m_results.Set(strFailed, failed);
    SaveProxyResults();

    StartLocalProxy(strNext);
    StoreProxyName(strNext);
    FillProxyCombo(m_entries);
    m_comboProxy.SetWindowText(ShownEntry(strNext));
    // "refused" only for connections that were refused.
    CString strWhat;
    if (eFault == PROXY_FAULT_REFUSED)
        strWhat.Format("refused %d connections in a row", UPSTREAM_FAILURES_BEFORE_FAILOVER);
    else
        strWhat = ProxyFaultText(eFault);
    CString strText;
    strText.Format("%s %s.\nAnonymous browsing now goes through %s %s.", ProxyResultKey(strFailed).GetString(),
                   strWhat.GetString(), ProxyResultKey(strNext).GetString(),
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
