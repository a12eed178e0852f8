// Failover and the state the tray shows: when the chosen upstream refuses
// connection after connection, the local proxy moves to the best tested
// proxy that is as good, and the user is told in a balloon; with none left,
// browsing stops (nothing goes out directly) and the balloon says how to
// choose another. The tip always names the state.
#include "ui/settings_dlg.h"

#include "proxylist/proxy_failover.h"
#include "settings/settings_store.h"

#include <ctime>

LRESULT CSettingsDlg::OnUpstreamDown(WPARAM, LPARAM)
{
    // A notice from a proxy switched off or replaced since is no one's.
    if (m_bExiting || !m_bEnabled || m_strActiveProxy.IsEmpty() || !m_proxyServer.IsRunning()) return 0;
    CString strFailed = m_strActiveProxy;
    CString strNext;
    CStringList entries;
    GetEntriesInForce(entries);
    BOOL bFound = PickFailoverEntry(entries, m_results, strFailed, strNext);

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
    if (!bFound) {
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
        return 0;
    }

    StartLocalProxy(strNext);
    g_regProxyName.Set(strNext);
    FillProxyCombo(m_entries);
    m_comboProxy.SetWindowText(ShownEntry(strNext));
    CStoredProxyResult next;
    m_results.Lookup(strNext, next);
    strText.Format("%s refused %d connections in a row.\nAnonymous browsing now goes through %s (%s, %d ms).",
                   strFailedKey.GetString(), UPSTREAM_FAILURES_BEFORE_FAILOVER, ProxyResultKey(strNext).GetString(),
                   ProxyGradeName(next.eGrade), next.nResponseMs);
    ShowNotice("Cloakwall switched proxies", strText);
    return 0;
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
