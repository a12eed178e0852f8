// "Test All Proxies": every entry of the list graded against the judge on
// the batch's own thread, the ones with good results first, under one
// deadline, with the progress read by a timer so the window keeps
// answering; the results kept, saved and the combo box re-ranked by them at
// the end. The same button cancels it.
#include "ui/settings_dlg.h"

#include "framework/core/thread_api.h"
#include "proxylist/judge_answer.h"
#include "proxylist/proxy_failover.h"
#include "proxylist/proxy_list_file.h"
#include "res/resource.h"
#include "settings/settings_store.h"

#include <ctime>

namespace {

const UINT kProgressPeriodMs = 200;
const char kTestAllText[] = "Test All Proxies";
const char kCancelTestText[] = "Cancel Test";

// A batch let go of ends on a thread of its own: its destructor waits for
// its thread, which may still be closing hundreds of sockets after the
// results are in (or, at Exit, after a cancel), and the window waits for
// nobody.
unsigned int DeleteBatch(void* pParam)
{
    delete static_cast<CProxyBatchTest*>(pParam);
    return 0;
}

struct CLetGoOfBatch {
    void operator()(CProxyBatchTest* pBatch) const
    {
        if (!StartDetachedThread(DeleteBatch, pBatch)) delete pBatch;
    }
};

} // namespace

void CSettingsDlg::OnTestAllProxies()
{
    if (m_pBatch) {
        // The workers see the cancel at their next wait; the timer finishes.
        m_pBatch->Cancel();
        SetStatusText("Cancelling the test...");
        return;
    }
    if (m_bExiting || IsNetJobRunning()) return;
    CStringList entries;
    GetEntriesInForce(entries);
    // An entry naming this program's own listener would be graded with
    // whatever upstream is in force, and could then be chosen.
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        POSITION here = pos;
        if (NamesOwnListener(entries.GetNext(pos))) entries.RemoveAt(here);
    }
    if (entries.IsEmpty()) {
        SetStatusText("The proxy list is empty: there is nothing to test. Update the proxy list first.");
        return;
    }
    CNetJobLimits limits = GetNetJobLimits();
    CStringList ordered;
    OrderForTesting(entries, m_results, ordered);
    m_pBatch.reset(new CProxyBatchTest);
    if (!m_pBatch->Start(ordered, GetJudgeUrl(g_regJudgeUrl.Get(), g_regUpdateServer.Get()), limits.dwTestAllMs,
                         limits.nTestAllParallel, limits.dwTestAllEntryMs, m_hWnd, WM_TEST_ALL_DONE)) {
        m_pBatch.reset();
        SetStatusText("The test could not be started.");
        return;
    }
    SetDlgItemText(IDC_TESTALLPROXIES, kCancelTestText);
    ShowBusy(TRUE);
    CString strProgress;
    strProgress.Format("Tested 0 of %d", m_pBatch->Total());
    SetStatusText(strProgress);
    SetTimer(TEST_ALL_TIMER, kProgressPeriodMs);
}

void CSettingsDlg::OnUpdateTestAllProxies(CCmdUI* pCmdUI)
{
    pCmdUI->SetText(m_pBatch ? kCancelTestText : kTestAllText);
    pCmdUI->Enable(m_pBatch != nullptr || !IsNetJobRunning());
}

LRESULT CSettingsDlg::OnTestAllDone(WPARAM, LPARAM)
{
    // A notice of a batch let go of (Exit) finds none, or one still running.
    if (m_pBatch && m_pBatch->IsFinished()) FinishTestAll();
    return 0;
}

void CSettingsDlg::FinishTestAll()
{
    KillTimer(TEST_ALL_TIMER);
    // Called once the batch has finished: its results are in.
    if (!m_pBatch) return;
    std::unique_ptr<CProxyBatchTest, CLetGoOfBatch> pBatch(m_pBatch.release());
    SetDlgItemText(IDC_TESTALLPROXIES, kTestAllText);
    ShowBusy(FALSE);
    if (!pBatch->HasJudge()) {
        ShowNotice("Test All Proxies", "No proxy judge is named, so no proxy was tested.\nName one under "
                                       "\"Proxy Sources...\".");
        return;
    }
    // The judge is asked only through the proxies: when none of them
    // brought its page back, the judge (or this machine's network) is the
    // likelier fault, and storing every proxy dead would spoil the list.
    BOOL bAnyAnswer = FALSE;
    for (const CProxyBatchResult& one : pBatch->Results())
        if (one.report.eGrade > PROXY_GRADE_DEAD) bAnyAnswer = TRUE;
    if (!bAnyAnswer) {
        // Where the summary would be, so the line below the options does not
        // go on counting.
        const char kNothingStored[] = "No proxy brought the proxy judge's page back, so nothing was stored.\n"
                                      "Check the connection and the judge under \"Proxy Sources...\".";
        SetStatusText(kNothingStored);
        ShowTrayBalloon("Test All Proxies", kNothingStored);
        return;
    }

    m_results.Merge(pBatch->Results(), static_cast<long long>(time(nullptr)));
    SaveProxyResults();

    int nCount[PROXY_GRADE_ELITE + 1] = {};
    for (const CProxyBatchResult& one : pBatch->Results()) ++nCount[one.report.eGrade];
    CString strSummary;
    strSummary.Format("Tested %d of %d: %d elite, %d anonymous, %d transparent, %d tampering, %d dead.\n",
                      pBatch->Total() - nCount[PROXY_GRADE_UNTESTED], pBatch->Total(), nCount[PROXY_GRADE_ELITE],
                      nCount[PROXY_GRADE_ANONYMOUS], nCount[PROXY_GRADE_TRANSPARENT], nCount[PROXY_GRADE_TAMPERING],
                      nCount[PROXY_GRADE_DEAD]);
    if (nCount[PROXY_GRADE_UNTESTED] > 0)
        strSummary += "The rest ran out of time or was cancelled and keeps its earlier result.\n";
    // Ranking tens of thousands of entries takes a while too: it comes in a
    // message of its own, so the window answers between the two.
    m_strTestAllSummary = strSummary;
    PostMessage(WM_TEST_ALL_RANK);
}

LRESULT CSettingsDlg::OnTestAllRank(WPARAM, LPARAM)
{
    if (m_bExiting || m_strTestAllSummary.IsEmpty()) return 0;
    CString strSummary = m_strTestAllSummary;
    m_strTestAllSummary.Empty();
    FillProxyCombo(m_entries);
    UpdateStateTip();
    CString strBest = ChooseBestEntry();
    if (strBest.IsEmpty())
        strSummary += "The list now shows the best first.";
    else
        strSummary += "The best, " + ProxyResultKey(strBest) + ", is chosen: press \"Save Settings\" to use it.";
    SetStatusText(strSummary);
    ShowTrayBalloon("Test All Proxies", strSummary);
    return 0;
}

CString CSettingsDlg::ChooseBestEntry()
{
    // A working proxy the user has in the box, or browses through, stays.
    CStoredProxyResult known;
    CString strInBox = GetChosenEntry();
    if (!strInBox.IsEmpty() && m_results.Lookup(strInBox, known) && known.eGrade > PROXY_GRADE_DEAD) return CString();
    if (!m_strActiveProxy.IsEmpty() && m_results.Lookup(m_strActiveProxy, known) && known.eGrade > PROXY_GRADE_DEAD)
        return CString();
    // The list is ranked: the first graded line is the best (HTTPS first
    // within a grade). Shown only; "Save Settings" makes it the choice, with
    // no second test, since it was tested just now.
    for (size_t i = 0; i < m_comboEntries.size(); ++i) {
        const CString& strEntry = m_comboEntries[i];
        if (!m_results.Lookup(strEntry, known) || known.eGrade <= PROXY_GRADE_DEAD) continue;
        if (NamesOwnListener(strEntry)) continue;
        // Its line may still be on its way into a long list.
        if (i < m_nComboLines)
            m_comboProxy.SetCurSel(static_cast<int>(i));
        else
            m_comboProxy.SetWindowText(ChoiceLine(strEntry));
        m_bProxyChosenLast = TRUE;
        return strEntry;
    }
    return CString();
}

void CSettingsDlg::AbandonTestAll()
{
    KillTimer(TEST_ALL_TIMER);
    if (!m_pBatch) return;
    m_pBatch->Cancel();
    CLetGoOfBatch()(m_pBatch.release());
}

void CSettingsDlg::SaveProxyResults()
{
    // Tens of thousands of results take a while to write: the window hands
    // a copy over and goes on answering.
    m_resultsWriter.Save(m_results, ProxyResultsFilePath(g_strAppPath));
}

void CSettingsDlg::SetStatusText(LPCTSTR pszText)
{
    if (m_hWnd) SetDlgItemText(IDC_TESTSTATUS, pszText);
}
