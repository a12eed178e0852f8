// The settings dialog's proxy list and tester commands: "Update Proxy List
// Now", choosing an entry in the combo box, and "Add New Proxy". The
// network work runs on the dialog's job; each command shows what the
// routine found, when it ended, through the one message-box function.
#include "ui/settings_dlg.h"

#include "framework/win/message_box.h"
#include "proxy/internal/upstream_config.h"
#include "proxylist/judge_answer.h"
#include "proxylist/judge_client.h"
#include "proxylist/proxy_entry.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_sources_update.h"
#include "proxylist/proxy_tester.h"
#include "proxylist/vendor_server.h"
#include "registry/reg_string_value.h"
#include "settings/add_proxy_dlg.h"
#include "settings/settings_store.h"

#include <ctime>
#include <memory>
#include <vector>

BOOL CSettingsDlg::CheckProxyReachable(LPCTSTR pszHost, int nPort)
{
    return ::CheckProxyReachable(pszHost, nPort, m_hWnd);
}

void CSettingsDlg::CheckReachableThen(const CString& strHost, int nPort, std::function<void(BOOL)> done)
{
    struct COutcome {
        BOOL bReachable = FALSE;
        CString strError;
    };
    auto pOutcome = std::make_shared<COutcome>();
    StartNetJob(
        GetNetJobLimits().dwReachabilityMs,
        [pOutcome, strHost, nPort](const CNetDeadline& deadline) {
            pOutcome->bReachable = CheckProxyReachableWithin(strHost, nPort, deadline, pOutcome->strError);
        },
        [this, pOutcome, done](BOOL bInTime) {
            // A check that ran out of time did not connect.
            BOOL bReachable = bInTime && pOutcome->bReachable;
            if (!bReachable)
                Say(bInTime ? pOutcome->strError : CString(PROXY_CONNECT_FAILED_TEXT), PROXY_ERROR_CAPTION);
            if (!m_bExiting) done(bReachable);
        });
}

BOOL CSettingsDlg::RefreshProxyList(std::function<void(ProxyListUpdateResult, const CString&, BOOL)> done)
{
    struct CRequest {
        CStringList sources;
        CString strMyProxies;
        CString strFile;
        CProxySourcesUpdate update;
        CUpstreamConfig route;
    };
    auto pRequest = std::make_shared<CRequest>();
    // The browser's connection settings are none of the download's
    // business. While the user browses through an upstream, the sources
    // are asked through it too: they must not see the user's address.
    if (m_bEnabled && m_proxyServer.IsRunning()) pRequest->route = *GetUpstreamConfig();
    CString strServer = g_regUpdateServer.Get();
    BOOL bVendor = IsRealUpdateServer(strServer);
    CStringList configured;
    g_regProxySources.Get(configured);
    pRequest->strMyProxies = MyProxiesFilePath(g_strAppPath);
    pRequest->strFile = ProxyListFilePath(g_strAppPath);
    ListProxySources(bVendor ? GetProxyListUrl(strServer) : CString(), pRequest->strMyProxies, configured,
                     pRequest->sources);
    return StartNetJob(
        GetNetJobLimits().dwListDownloadMs,
        [pRequest](const CNetDeadline& deadline) {
            UpdateProxyListFromSources(pRequest->sources, pRequest->strMyProxies, pRequest->strFile, pRequest->update,
                                       &deadline, &pRequest->route);
        },
        [this, pRequest, done, bVendor, strServer](BOOL bInTime) {
            // A read that ran out of time failed, and kept the old list.
            const CProxySourcesUpdate& update = pRequest->update;
            ProxyListUpdateResult result = bInTime ? update.result : PROXY_LIST_DOWNLOAD_FAILED;
            if (result == PROXY_LIST_UPDATED) {
                // Results of proxies that stay in the list stay too.
                int nBefore = m_results.GetCount();
                CStringList keep;
                for (POSITION pos = update.entries.GetHeadPosition(); pos;) keep.AddTail(update.entries.GetNext(pos));
                if (!m_strTorEntry.IsEmpty()) keep.AddTail(m_strTorEntry);
                m_results.KeepOnly(keep);
                if (m_results.GetCount() != nBefore) SaveProxyResults();
                FillProxyCombo(update.entries);
            }
            if (bVendor && result != PROXY_LIST_FILE_FAILED) m_proxyGenThread.Start(strServer);
            // The lists that gave proxies, for the first start's line.
            m_nListsRead = 0;
            for (const CProxySourceOutcome& outcome : update.outcomes)
                if (bInTime && outcome.bAnswered && outcome.tally.nFound > 0) ++m_nListsRead;
            BOOL bSourceFailed = !bInTime;
            for (const CProxySourceOutcome& outcome : update.outcomes)
                if (!outcome.bAnswered || outcome.bCutAtBytes || outcome.tally.bCut) bSourceFailed = TRUE;
            done(result, bInTime ? FormatProxySourcesUpdateText(update) : CString(GetProxyListUpdateText(result)),
                 bSourceFailed);
        });
}

void CSettingsDlg::OnUpdateProxyList()
{
    // Tor is looked for again beside the download: it may have started or
    // stopped since.
    ProbeTor();
    RefreshProxyList([this](ProxyListUpdateResult result, const CString& text, BOOL) {
        Say(text, GetProxyListUpdateCaption(result));
    });
}

void CSettingsDlg::TestEntry(const CString& strEntry, std::function<void()> pfnAvailable)
{
    if (IsNetJobRunning()) return;
    // The test starts when the user has read that it takes a while.
    Say(PROXY_TESTING_TEXT, "Cloakwall");
    if (m_bExiting) return;

    struct COutcome {
        BOOL bAvailable = FALSE;
        CProxyTestReport report;
        BOOL bJudged = FALSE; // the judge answered, so the grade is known
        CProxyGradeReport grade;
    };
    auto pOutcome = std::make_shared<COutcome>();
    CString strJudge = GetJudgeUrl(g_regJudgeUrl.Get(), g_regUpdateServer.Get());
    CString strSample = GetSpeedSampleUrl(g_regUpdateServer.Get(), strJudge);
    StartNetJob(
        GetNetJobLimits().dwProxyTestMs,
        [pOutcome, strEntry, strSample, strJudge](const CNetDeadline& deadline) {
            // The sample gets half the time at most: a proxy that takes the
            // connection and never answers would otherwise leave the judge
            // no time to find that out.
            CNetDeadline sample(deadline.RemainingMs() / 2);
            pOutcome->bAvailable = TestProxyEntry(strEntry, strSample, pOutcome->report, &sample);
            // The grade within the same deadline, for a proxy that is there,
            // the judges asked through it alone.
            if (!pOutcome->bAvailable) return;
            GradeOneProxy(strEntry, strJudge, deadline, pOutcome->grade);
            pOutcome->bJudged = pOutcome->grade.eGrade != PROXY_GRADE_UNTESTED;
        },
        [this, pOutcome, pfnAvailable, strEntry](BOOL bInTime) {
            // A test that ran out of time found no proxy worth choosing; its
            // report may still be being written, so it is not read.
            CProxyTestReport timedOut;
            timedOut.strText = PROXY_NOT_AVAILABLE_TEXT;
            timedOut.strCaption = PROXY_ERROR_CAPTION;
            const CProxyTestReport& report = bInTime ? pOutcome->report : timedOut;
            CString strText = report.strText;
            // The response time is the judge's answer through the proxy,
            // as the list and the tip give it; the connect alone says less.
            if (bInTime && pOutcome->bAvailable && pOutcome->grade.nResponseMs > 0)
                strText = FormatProxyAvailableText(strEntry, pOutcome->grade.nResponseMs, report.dKBPerSec);
            if (bInTime && pOutcome->bJudged) {
                const CProxyGradeReport& grade = pOutcome->grade;
                strText += FormatGradeLine(grade.eGrade, grade.strGiveaways) + "\r\n";
                if (grade.eHttps != HTTPS_UNTESTED) strText += FormatHttpsLine(grade.eHttps) + "\r\n";
                // It took the connection and then sent nothing back: the
                // figures above look fine, and pages would never come.
                if (pOutcome->bAvailable && grade.eGrade == PROXY_GRADE_DEAD && grade.nConnectMs > 0 &&
                    grade.nResponseMs == 0)
                    strText += PROXY_SILENT_TEXT "\r\n";
                std::vector<CProxyBatchResult> one(1);
                one[0].strEntry = strEntry;
                one[0].report = grade;
                // The speed the box showed: the sample's, not the judge's page.
                one[0].report.dKBPerSec = report.dKBPerSec;
                m_results.Merge(one, static_cast<long long>(time(nullptr)));
                SaveProxyResults();
                FillProxyCombo(m_entries);
                UpdateStateTip();
            }
            if (bInTime && pOutcome->bAvailable && pfnAvailable) pfnAvailable();
            Say(strText, report.strCaption);
        });
}

void CSettingsDlg::OnSelchangeProxyCombo()
{
    if (IsNetJobRunning()) return;
    UpdateData(FALSE);
    int nSel = m_comboProxy.GetCurSel();
    if (nSel == CB_ERR) return;
    // The entry behind the line, without the state the line shows and with
    // the password the line hides.
    CString strEntry;
    if (nSel < static_cast<int>(m_comboEntries.size())) strEntry = m_comboEntries[nSel];
    if (strEntry.IsEmpty()) return;
    m_bProxyChosenLast = TRUE;
    TestEntry(strEntry);
}

void CSettingsDlg::OnDropdownProxyCombo()
{
    m_nSelAtDropdown = m_comboProxy.GetCurSel();
}

void CSettingsDlg::OnCloseupProxyCombo()
{
    // The selection may change after the close-up notice (the order differs
    // between systems): decide once every notice of this close is in.
    PostMessage(WM_PROXY_CHOSEN);
}

LRESULT CSettingsDlg::OnProxyChosen(WPARAM, LPARAM)
{
    int nSel = m_comboProxy.GetCurSel();
    BOOL bNewEntry = nSel != CB_ERR && nSel != m_nSelAtDropdown;
    m_nSelAtDropdown = CB_ERR;
    if (bNewEntry && !m_comboProxy.GetDroppedState()) OnSelchangeProxyCombo();
    return 0;
}

void CSettingsDlg::OnAddNewProxy()
{
    if (IsNetJobRunning()) return;
    CAddProxyDlg dlg(this);
    if (dlg.DoModal() != 0 || m_bExiting) return;
    CRegStringValue regTmpProxy(CLOAKWALL_SETTINGS_KEY "\\TMPProxy", "", FALSE, HKEY_LOCAL_MACHINE);
    CString strEntry = regTmpProxy.Get();
    if (strEntry.IsEmpty()) return;
    // The edit field only, not the list.
    TestEntry(strEntry, [this, strEntry] {
        m_comboProxy.SetWindowText(ShownEntry(strEntry));
        m_bProxyChosenLast = TRUE;
    });
}
