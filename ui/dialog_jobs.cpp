// The settings dialog's network job and its ending: one job at a time off
// the window's thread, shown by a busy cursor and disabled buttons; Exit
// and the end of the session, which never wait for a job and close what
// the program has open.
#include "ui/settings_dlg.h"

#include "browser/browser_title.h"
#include "browser/every_connection.h"
#include "framework/win/message_box.h"
#include "res/resource.h"
#include "ui/settings_window_class.h"

namespace {

// Room after a job's deadline for its own last checks: then the job is
// let go of and counted as failed.
const UINT kJobGraceMs = 250;

// The buttons that would start another network job. "Save Settings" stays:
// switching off never waits for one (and switching on says that it waits).
const int kJobButtons[] = {IDC_UPDATEPROXYLIST, IDC_ADDNEWPROXY, IDC_TESTALLPROXIES};

// What the browser was pointed at while anonymous browsing was on.
const char kLocalProxyAddress[] = "127.0.0.1:8080";

BOOL CALLBACK CloseIfOther(HWND hWnd, LPARAM lParam)
{
    if (hWnd != reinterpret_cast<HWND>(lParam) && IsWindowVisible(hWnd)) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

BOOL CSettingsDlg::StartNetJob(DWORD dwLimitMs, CNetJob::Work work, std::function<void(BOOL)> done)
{
    if (m_bExiting || IsNetJobRunning()) return FALSE;
    if (!m_netJob.Start(dwLimitMs, std::move(work), m_hWnd, WM_NETJOB_DONE)) return FALSE;
    m_pfnJobDone = std::move(done);
    SetTimer(JOB_DEADLINE_TIMER, dwLimitMs + kJobGraceMs);
    ShowBusy(TRUE);
    return TRUE;
}

LRESULT CSettingsDlg::OnNetJobDone(WPARAM wParam, LPARAM)
{
    // A notice from a job let go of already is no one's.
    if (wParam == m_netJob.GetSerial() && m_pfnJobDone) FinishNetJob();
    return 0;
}

void CSettingsDlg::FinishNetJob()
{
    KillTimer(JOB_DEADLINE_TIMER);
    BOOL bInTime = m_netJob.IsFinished();
    m_netJob.Cancel();
    m_bJobSwitchesOn = FALSE;
    ShowBusy(FALSE);
    std::function<void(BOOL)> done;
    done.swap(m_pfnJobDone);
    if (done && !m_bExiting) done(bInTime);
}

void CSettingsDlg::ShowBusy(BOOL bBusy)
{
    for (int nID : kJobButtons)
        if (HWND hButton = ::GetDlgItem(m_hWnd, nID)) ::EnableWindow(hButton, !bBusy);
    // While all proxies are tested, their button is the one to cancel it.
    if (m_pBatch)
        if (HWND hButton = ::GetDlgItem(m_hWnd, IDC_TESTALLPROXIES)) ::EnableWindow(hButton, TRUE);
    // The cursor over the dialog changes at its next move; this one now.
    POINT pt;
    if (GetCursorPos(&pt) && ::WindowFromPoint(pt) &&
        (::WindowFromPoint(pt) == m_hWnd || ::IsChild(m_hWnd, ::WindowFromPoint(pt))))
        SetCursor(LoadCursor(nullptr, bBusy ? IDC_APPSTARTING : IDC_ARROW));
}

LRESULT CSettingsDlg::OnSetCursorMsg(WPARAM, LPARAM)
{
    if (!IsNetJobRunning()) return Default();
    SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
    return TRUE;
}

int CSettingsDlg::Say(LPCTSTR pszText, LPCTSTR pszCaption)
{
    if (m_bExiting) return IDCANCEL;
    return AfxMessageBox(pszText, MB_OK, pszCaption, m_hWnd);
}

void CSettingsDlg::CloseOtherWindows()
{
    // A message box or dialog open on this thread runs a loop of its own,
    // under the handler that opened it: closed, it returns, and that
    // handler sees that the program is ending.
    EnumThreadWindows(GetCurrentThreadId(), CloseIfOther, reinterpret_cast<LPARAM>(m_hWnd));
}

void CSettingsDlg::RestoreBrowser()
{
    ClearBrowserTitle();
    DisableEveryConnectionProxy(kLocalProxyAddress);
}

void CSettingsDlg::OnExit()
{
    m_bExiting = TRUE;
    MarkSettingsWindowEnding(m_hWnd);
    // Nothing waits for the network: a job still running is let go of, and
    // so is the generator request, after a moment.
    KillTimer(JOB_DEADLINE_TIMER);
    m_pfnJobDone = nullptr;
    m_netJob.Cancel();
    StopOutageWatch();
    AbandonTestAll();
    m_proxyGenThread.Stop();
    // Results handed to the writer are on disk before the program ends.
    m_resultsWriter.Flush();
    RestoreBrowser();
    CloseOtherWindows();
    EndDialog(0);
}

LRESULT CSettingsDlg::OnQueryEndSession(WPARAM, LPARAM)
{
    return TRUE;
}

LRESULT CSettingsDlg::OnEndSession(WPARAM wParam, LPARAM)
{
    // The session ends without an Exit: the browser must not be left at a
    // proxy that is about to go away, nor keep the caption.
    if (wParam) {
        // Nothing may speak up while the session ends: the job's deadline
        // and its answer go with it.
        m_bExiting = TRUE;
        MarkSettingsWindowEnding(m_hWnd);
        KillTimer(JOB_DEADLINE_TIMER);
        m_pfnJobDone = nullptr;
        m_netJob.Cancel();
        StopOutageWatch();
        AbandonTestAll();
        m_resultsWriter.Flush();
        RestoreBrowser();
        if (m_proxyServer.IsRunning()) m_proxyServer.Stop();
    }
    return 0;
}

void CSettingsDlg::OnOKOrEnter()
{
    // With the proxy list open, Enter closes it on the entry and the
    // close-up tests that; anywhere else, the edit field included, Enter is
    // "Save Settings".
    if (m_comboProxy.m_hWnd && m_comboProxy.GetDroppedState()) return;
    OnOK();
}
