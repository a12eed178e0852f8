// The anonymous-browsing switch of the settings dialog: the stored proxy
// re-applied at start-up, "Save Settings", the tray command and Exit. On
// every switch the browser options change first and the local proxy second.
// The reachability check before switching on runs on the dialog's network
// job; the switch completes when it has answered.
#include "ui/settings_dlg.h"

#include "browser/browser_title.h"
#include "browser/every_connection.h"
#include "framework/core/exceptions.h"
#include "framework/win/message_box.h"
#include "proxylist/proxy_address.h"
#include "proxylist/proxy_failover.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_results.h"
#include "proxylist/upstream_fetch.h"
#include "settings/proxy_account_settings.h"
#include "settings/settings_store.h"

namespace {
// What the browser is given, and where the local proxy listens.
const char kLocalProxyAddress[] = "127.0.0.1:8080";
const int kLocalProxyPort = 8080;

// On a connection thread of the local proxy: only hands the news on, with
// the start it is about.
void PostUpstreamDown(void* pContext, unsigned int nStart)
{
    PostMessageA(static_cast<HWND>(pContext), CSettingsDlg::WM_UPSTREAM_DOWN, nStart, 0);
}

void PostUpstreamNoTunnels(void* pContext, unsigned int nStart)
{
    PostMessageA(static_cast<HWND>(pContext), CSettingsDlg::WM_UPSTREAM_NO_TUNNELS, nStart, 0);
}

} // namespace

BOOL CSettingsDlg::SwitchOn(const CString& strEntry)
{
    // The LAN's and every dial-up and VPN entry's options: a user on a VPN
    // would otherwise browse direct.
    SetEveryConnectionOptions(kLocalProxyAddress, g_regProxyBypass.Get());
    // The caption says "Enabled" exactly while it is.
    SetBrowserTitle();
    return StartLocalProxy(strEntry);
}

BOOL CSettingsDlg::StartLocalProxy(const CString& strEntry)
{
    // Whatever was being watched belonged to the proxy left behind.
    StopOutageWatch();
    // The entry's kind and account go with it: a SOCKS proxy is spoken to
    // as one, and gets its account in its own handshake.
    CUpstreamConfig upstream;
    UpstreamFromEntry(strEntry, upstream);
    if (m_proxyServer.IsRunning()) m_proxyServer.Stop();
    // An upstream that stops answering is noticed by the connections that
    // fail on it; the dialog then moves to another proxy.
    m_proxyServer.SetUpstreamDownHandler(PostUpstreamDown, m_hWnd, UPSTREAM_FAILURES_BEFORE_FAILOVER);
    m_proxyServer.SetNoTunnelsHandler(PostUpstreamNoTunnels);
    m_strActiveProxy = strEntry;
    BOOL bStarted = m_proxyServer.Start(kLocalProxyPort, 1, upstream.strUpstreamHost, upstream.nUpstreamPort,
                                        upstream.strProxyUser, upstream.strProxyPassword, upstream.eKind);
    if (!bStarted) m_strActiveProxy.Empty();
    UpdateStateTip();
    if (!bStarted) Say("Cannot Start Proxy!", "ERROR");
    return bStarted;
}

void CSettingsDlg::SwitchOff()
{
    StopOutageWatch();
    DisableEveryConnectionProxy(kLocalProxyAddress);
    ClearBrowserTitle();
    g_regUseProxy.Set(0);
    if (m_proxyServer.IsRunning()) m_proxyServer.Stop();
    m_strActiveProxy.Empty();
    UpdateStateTip();
}

BOOL CSettingsDlg::ApplyStoredSettings()
{
    try {
        ReadSwitchSettings();

        // Passwords an earlier version kept in the settings and the list
        // files go to the credential store before anything reads them.
        MoveSettingPasswords();
        MoveListFilePasswords(ProxyListFilePath(g_strAppPath));
        MoveListFilePasswords(MyProxiesFilePath(g_strAppPath));

        // A list file that is missing or unreadable leaves the combo box
        // empty; the stored proxy is applied all the same.
        CStringList entries;
        // The results first: the list is ranked by them.
        m_results.Load(ProxyResultsFilePath(g_strAppPath));
        if (ReadProxyListFile(ProxyListFilePath(g_strAppPath), entries)) FillProxyCombo(entries);

        // Only what the user last switched on is switched on again, and the
        // check box and the tray's check mark show what is in force.
        CString strProxy = g_regProxyName.Get();
        if (!strProxy.IsEmpty() && m_comboProxy.m_hWnd) m_comboProxy.SetWindowText(ShownEntry(strProxy));
        BOOL bOn = g_regUseProxy.Get() == 1 && !strProxy.IsEmpty();
        if (bOn) SwitchOn(strProxy);
        m_bUseProxy = bOn ? 1 : 0;
        m_bEnabled = m_bUseProxy;

        UpdateData(FALSE);
        return TRUE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}

void CSettingsDlg::CancelSwitchOn()
{
    if (!m_bJobSwitchesOn) return;
    // The check's answer would switch on what the user has just switched
    // off: it is let go of (nothing else waited for it).
    KillTimer(JOB_DEADLINE_TIMER);
    m_pfnJobDone = nullptr;
    m_netJob.Cancel();
    m_bJobSwitchesOn = FALSE;
    ShowBusy(FALSE);
}

BOOL CSettingsDlg::ConfirmProxy(const CString& strProxy, BOOL bAskAboutLeaks)
{
    CStoredProxyResult known;
    if (!m_results.Lookup(strProxy, known)) return TRUE;
    LPCTSTR pszQuestion = nullptr;
    if (known.eGrade == PROXY_GRADE_DEAD)
        pszQuestion = PROXY_DEAD_QUESTION_TEXT;
    else if (bAskAboutLeaks && known.eGrade == PROXY_GRADE_TRANSPARENT)
        pszQuestion = PROXY_LEAKS_QUESTION_TEXT;
    else if (bAskAboutLeaks && known.eGrade == PROXY_GRADE_TAMPERING)
        pszQuestion = PROXY_TAMPERS_QUESTION_TEXT;
    else if (bAskAboutLeaks && RankingGrade(known) == PROXY_GRADE_TAMPERING)
        pszQuestion = PROXY_READS_HTTPS_QUESTION_TEXT;
    if (!pszQuestion) return TRUE;
    // An Enter pressed out of habit must not send the user's traffic there.
    return AfxMessageBox(pszQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, PROXY_LEAKS_QUESTION_CAPTION,
                         m_hWnd) == IDYES;
}

void CSettingsDlg::OnOK()
{
    try {
        UpdateData(TRUE);
        if (!m_bUseProxy) {
            // Switching off needs no network: it happens now, whatever job
            // runs; only a switch-on still waiting for its check is called off.
            CancelSwitchOn();
            SwitchOff();
            // The tray command's next press must switch on, not off again.
            m_bEnabled = 0;
            if (m_bProxyChosenLast && !GetChosenEntry().IsEmpty()) {
                // The user chose a proxy and saved: going to the tray with
                // browsing off would look as if it were on. The dialog stays
                // and says what happened.
                CString strOff;
                strOff.Format(BROWSING_STAYS_OFF_FORMAT, ProxyResultKey(GetChosenEntry()).GetString());
                SetStatusText(strOff);
                m_bSwitchStateSaid = TRUE;
                FinishSave(!g_regUseProxy.LastSetFailed(), TRUE);
                return;
            }
            FinishSave(!g_regUseProxy.LastSetFailed());
            return;
        }
        if (IsNetJobRunning()) {
            // Switching on needs the network, and the job has it: the dialog
            // stays as it is until the user saves again.
            SetStatusText(SWITCH_ON_WAITS_TEXT);
            return;
        }
        CString strProxy = GetChosenEntry();
        if (strProxy.IsEmpty()) {
            Say("No proxy selected");
            FinishSave(TRUE, TRUE);
            return;
        }
        // A password typed into the box is hidden from here on, whatever
        // the check finds; the box keeps the entry behind the masked text.
        CString strBox;
        m_comboProxy.GetWindowText(strBox);
        if (MaskProxyPassword(strBox) != strBox) m_comboProxy.SetWindowText(ShownEntry(strProxy));
        // A proxy known to hand the user's address on, or to change pages,
        // is used only when the user says so, once, as it becomes the
        // choice; one that gave no answer, whenever it would be switched to.
        BOOL bNewChoice = ProxyResultKey(strProxy) != ProxyResultKey(g_regProxyName.Get());
        BOOL bNewInForce = ProxyResultKey(strProxy) != ProxyResultKey(m_strActiveProxy);
        if ((bNewChoice || bNewInForce) && !ConfirmProxy(strProxy, bNewChoice)) {
            if (m_bExiting) return;
            m_comboProxy.SetWindowText(ShownEntry(g_regProxyName.Get()));
            FinishSave(TRUE);
            return;
        }
        CUpstreamConfig upstream;
        UpstreamFromEntry(strProxy, upstream);
        CheckReachableThen(upstream.strUpstreamHost, upstream.nUpstreamPort, [this, strProxy](BOOL bReachable) {
            BOOL bStored = TRUE;
            BOOL bStarted = FALSE;
            if (!bReachable) {
                Say("Please choose another Proxy!", "ERROR");
                SetStatusText(SWITCH_ON_FAILED_TEXT);
                m_bSwitchStateSaid = TRUE;
            } else {
                bStarted = SwitchOn(strProxy);
                bStored = !g_regUseProxy.Set(1).LastSetFailed();
                bStored = StoreProxyName(strProxy) && bStored;
                m_bEnabled = 1;
            }
            FinishSave(bStored, !bStarted);
        });
        if (IsNetJobRunning()) m_bJobSwitchesOn = TRUE;
    } catch (CException* e) {
        e->Delete();
    }
}

void CSettingsDlg::FinishSave(BOOL bStored, BOOL bSwitchFailed)
{
    try {
        // A switch-on that failed leaves the box ticked: the user's wish
        // stands, and the next "Save Settings" with another proxy fulfils it.
        // Otherwise the box goes back to what is in force.
        if (m_bUseProxy && !m_bEnabled && !bSwitchFailed) {
            m_bUseProxy = 0;
            UpdateData(FALSE);
        }
        if (!bSwitchFailed) {
            m_bProxyChosenLast = FALSE;
            // What an earlier Save said of the switch is over now.
            if (m_bSwitchStateSaid) SetStatusText("");
            m_bSwitchStateSaid = FALSE;
        }
        bStored = !g_regEnableJS.Set(m_bEnableJS ? 1 : 0).LastSetFailed() && bStored;
        bStored = !g_regEnableActiveX.Set(m_bEnableActiveX ? 1 : 0).LastSetFailed() && bStored;
        RestartCleaner();
        bStored = !g_regClearTmpFiles.Set(m_bClearTmpFiles ? 1 : 0).LastSetFailed() && bStored;
        bStored = !g_regClearCookies.Set(m_bClearCookies ? 1 : 0).LastSetFailed() && bStored;
        bStored = !g_regDeleteAddresses.Set(m_bDeleteAddresses ? 1 : 0).LastSetFailed() && bStored;
        bStored = !g_regDeleteHistory.Set(m_bDeleteHistory ? 1 : 0).LastSetFailed() && bStored;
        // Refused writes leave the settings as they were, here and at the
        // next start: the user must know that the save did not take.
        if (!bStored) Say(SETTINGS_NOT_STORED_TEXT, "Error");

        if (bSwitchFailed) {
            // A dialog that went away would look like success: it stays,
            // with the proxy box ready for another choice.
            if (!m_bExiting && IsWindowVisible())
                SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_comboProxy.m_hWnd), TRUE);
            return;
        }
        AddTrayIcon();
        ShowWindow(SW_HIDE);
    } catch (CException* e) {
        e->Delete();
    }
}

void CSettingsDlg::OnToggleAnonymous()
{
    if (m_bEnabled) {
        // Off at once, as with "Save Settings".
        CancelSwitchOn();
        m_bEnabled = 0;
        m_bUseProxy = 0;
        SwitchOff();
        UpdateData(FALSE);
        if (g_regUseProxy.LastSetFailed()) Say(SETTINGS_NOT_STORED_TEXT, "Error");
        return;
    }
    if (IsNetJobRunning()) return;

    // Switching on uses the stored proxy, not what the combo box shows; a
    // failure leaves the switch off.
    CString strProxy = g_regProxyName.Get();
    if (strProxy.IsEmpty()) {
        Say("No proxy selected");
        return;
    }
    if (!ConfirmProxy(strProxy, FALSE)) return;
    CUpstreamConfig upstream;
    UpstreamFromEntry(strProxy, upstream);
    CheckReachableThen(upstream.strUpstreamHost, upstream.nUpstreamPort, [this, strProxy](BOOL bReachable) {
        if (!bReachable) {
            Say("Please choose another Proxy!", "ERROR");
            return;
        }
        SwitchOn(strProxy);
        m_bEnabled = 1;
        m_bUseProxy = m_bEnabled;
        BOOL bStored = !g_regUseProxy.Set(m_bEnabled ? 1 : 0).LastSetFailed();
        bStored = StoreProxyName(strProxy) && bStored;
        UpdateData(FALSE);
        if (!bStored) Say(SETTINGS_NOT_STORED_TEXT, "Error");
    });
    if (IsNetJobRunning()) m_bJobSwitchesOn = TRUE;
}

void CSettingsDlg::OnUpdateToggleAnonymous(CCmdUI* pCmdUI)
{
    // What is in force: a failed switch-on leaves the box ticked, not this.
    pCmdUI->SetCheck(m_bEnabled == 1);
    // Switching off never waits; switching on waits for a running job.
    pCmdUI->Enable(m_bEnabled || !IsNetJobRunning());
}
