// CSettingsDlg: construction, data exchange, initialisation (first run,
// stored settings, tray, start hidden) and the window's own handlers.
#include "ui/settings_dlg.h"

#include "browser/browser_title.h"
#include "browser/every_connection.h"
#include "framework/win/message_box.h"
#include "framework/win/win_app.h"
#include "proxylist/proxy_address.h"
#include "proxylist/proxy_failover.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_sources_update.h"
#include "proxylist/vendor_server.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "ui/about_dlg.h"
#include "ui/proxy_sources_dlg.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

BOOL g_bFirstMinimize = TRUE;

namespace {
// Timers of the dialog: hide at the first tick, or just go away.
const UINT_PTR kHideTimer = 998;
const UINT_PTR kShowTimer = 0;
// What a start that does not switch on finds in the browser, when a copy
// of the program was killed or crashed while it was switched on.
const char kLocalProxyAddress[] = "127.0.0.1:8080";
} // namespace

BEGIN_MESSAGE_MAP(CSettingsDlg, CTrayDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_COMMAND(IDOK, OnOKOrEnter)
    ON_COMMAND(ID_EXIT_CLOAKWALL, OnExit)
    ON_WM_SIZE()
    ON_WM_TIMER()
    ON_COMMAND(ID_CONFIGURATION, OnConfiguration)
    ON_COMMAND(ID_TOGGLE_ANONYMOUS, OnToggleAnonymous)
    ON_UPDATE_COMMAND_UI(ID_TOGGLE_ANONYMOUS, OnUpdateToggleAnonymous)
    ON_WM_INITMENUPOPUP()
    ON_CONTROL(CBN_DROPDOWN, IDC_PROXYCOMBO, OnDropdownProxyCombo)
    ON_BN_CLICKED(IDC_USEPROXY, OnClickUseProxy)
    ON_CONTROL(CBN_CLOSEUP, IDC_PROXYCOMBO, OnCloseupProxyCombo)
    ON_MESSAGE(WM_PROXY_CHOSEN, OnProxyChosen)
    ON_MESSAGE(WM_NETJOB_DONE, OnNetJobDone)
    ON_MESSAGE(WM_TEST_ALL_DONE, OnTestAllDone)
    ON_MESSAGE(WM_FILL_PROXY_COMBO, OnFillProxyCombo)
    ON_MESSAGE(WM_TEST_ALL_RANK, OnTestAllRank)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursorMsg)
    ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
    ON_MESSAGE(WM_ENDSESSION, OnEndSession)
    ON_COMMAND(IDC_UPDATEPROXYLIST, OnUpdateProxyList)
    ON_COMMAND(IDC_ADDNEWPROXY, OnAddNewProxy)
    ON_COMMAND(IDC_TESTALLPROXIES, OnTestAllProxies)
    ON_COMMAND(IDC_PROXYSOURCES, OnProxySources)
    ON_COMMAND(ID_TEST_ALL_PROXIES, OnTestAllProxies)
    ON_UPDATE_COMMAND_UI(ID_TEST_ALL_PROXIES, OnUpdateTestAllProxies)
    ON_MESSAGE(WM_UPSTREAM_DOWN, OnUpstreamDown)
    ON_MESSAGE(WM_UPSTREAM_NO_TUNNELS, OnUpstreamNoTunnels)
    ON_MESSAGE(WM_FAILOVER_PROBED, OnFailoverProbed)
    ON_MESSAGE(WM_TOR_PROBE_DONE, OnTorProbeDone)
END_MESSAGE_MAP()

CSettingsDlg::CSettingsDlg(CWnd* pParent) : CTrayDialog(IDD_SETTINGS_DIALOG, pParent), m_bEnabled(0)
{
    ReadSwitchSettings();
    m_bUseProxy = static_cast<int>(g_regUseProxy.Get());
    m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

void CSettingsDlg::ReadSwitchSettings()
{
    m_bClearCookies = static_cast<int>(g_regClearCookies.Get());
    m_bClearTmpFiles = static_cast<int>(g_regClearTmpFiles.Get());
    m_bDeleteHistory = static_cast<int>(g_regDeleteHistory.Get());
    m_bDeleteAddresses = static_cast<int>(g_regDeleteAddresses.Get());
    m_bEnableActiveX = static_cast<int>(g_regEnableActiveX.Get());
    m_bEnableJS = static_cast<int>(g_regEnableJS.Get());
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::DoDataExchange(CDataExchange* pDX)
{
    CTrayDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROXYCOMBO, m_comboProxy);
    DDX_Check(pDX, IDC_CLEARCOOKIES, m_bClearCookies);
    DDX_Check(pDX, IDC_CLEARTMPFILES, m_bClearTmpFiles);
    DDX_Check(pDX, IDC_DELETEADDRESSES, m_bDeleteAddresses);
    DDX_Check(pDX, IDC_DELETEHISTORY, m_bDeleteHistory);
    DDX_Check(pDX, IDC_ENABLEACTIVEX, m_bEnableActiveX);
    DDX_Check(pDX, IDC_USEPROXY, m_bUseProxy);
    DDX_Check(pDX, IDC_ENABLEJS, m_bEnableJS);
}

BOOL CSettingsDlg::OnInitDialog()
{
    CTrayDialog::OnInitDialog();

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    SetTrayIcon(IDR_MAINFRAME);
    SetTrayTip("Cloakwall");
    SetTrayMenu(IDR_TRAYMENU);
    AddTrayIcon();

    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) {
        char text[128] = "";
        if (LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, text, sizeof text) > 0) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    if (g_regRunFirst.Get() == 0) DoFirstRun();

    ApplyStoredSettings();
    UpdateStateTip();
    if (!m_bEnabled) {
        // This start did not switch on: no caption, and no browser pointing
        // at a local proxy that does not run (left by a copy that was killed
        // or crashed while switched on).
        ClearBrowserTitle();
        DisableConnectionsUsingProxy(kLocalProxyAddress);
    }
    RestartCleaner();
    ProbeTor();

    if (g_regMinimize.Get() == 1) {
        SetTimer(kHideTimer, 1);
    } else {
        g_regMinimize.Set(1);
        SetTimer(kShowTimer, 1);
        RemoveTrayIcon();
    }
    return TRUE;
}

void CSettingsDlg::DoFirstRun()
{
    // The download runs while the rest of the initialisation goes on; the
    // list comes into the combo box when it is there.
    RefreshProxyList([this](ProxyListUpdateResult result, const CString& text, BOOL bSourceFailed) {
        if (result == PROXY_LIST_FILE_FAILED) {
            // The list could not be kept: say so, and leave RunFirst at 0 so
            // the next start tries the first-run work again.
            Say(text, GetProxyListUpdateCaption(result));
            return;
        }
        // A list that could not be read can be fetched later with "Update
        // Proxy List Now" once a source answers; the first run is done
        // either way. A first run without a single source that answered
        // says where one is added; sources that failed beside others that
        // answered are named.
        if (result == PROXY_LIST_DOWNLOAD_FAILED) {
            CString strHint;
            strHint.Format(PROXY_SOURCES_NONE_ANSWERED_FIRST_RUN_TEXT, MyProxiesFilePath(g_strAppPath).GetString());
            Say(strHint, "");
        } else if (bSourceFailed) {
            Say(text, "");
        }
        // A fresh install shows the dialog: it says what it has and what
        // the next step is.
        if (result == PROXY_LIST_UPDATED) SetStatusText(FormatFirstStartText(m_entries.GetCount(), m_nListsRead));
        g_regRunFirst.Set(1);
    });
}

void CSettingsDlg::FillProxyCombo(const CStringList& entries)
{
    // Each entry once, in alphabetical order (as the list looked before any
    // proxy was tested); the ranking keeps that order among the untested.
    // Lists from several sources run to hundreds of thousands of lines: the
    // check for an entry seen before must not walk the whole list each time.
    CStringList unique;
    if (&entries == &m_entries) {
        // Kept that way by the refill before: only Tor, found since, is left out.
        for (POSITION pos = m_entries.GetHeadPosition(); pos;) {
            const CString& entry = m_entries.GetNext(pos);
            if (m_strTorEntry.IsEmpty() || entry != m_strTorEntry) unique.AddTail(entry);
        }
    } else {
        std::vector<CString> sorted;
        std::set<std::string> seen;
        for (POSITION pos = entries.GetHeadPosition(); pos;) {
            const CString& entry = entries.GetNext(pos);
            // Tor is offered on its own, first, and only while it answers.
            if (!m_strTorEntry.IsEmpty() && entry == m_strTorEntry) continue;
            if (seen.insert(entry.str()).second) sorted.push_back(entry);
        }
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const CString& a, const CString& b) { return a.CompareNoCase(b) < 0; });
        m_entries.RemoveAll();
        for (const CString& entry : sorted) {
            unique.AddTail(entry);
            m_entries.AddTail(entry);
        }
    }
    if (!m_comboProxy.m_hWnd) return;
    CString strEdit;
    m_comboProxy.GetWindowText(strEdit);
    BOOL bEditIsLine = m_comboProxy.FindStringExact(-1, strEdit) != CB_ERR;
    CString strEditEntry = GetChosenEntry();
    // The ranked order without the marks: the lines add their own.
    CStringList ranked;
    OrderForTesting(unique, m_results, ranked);
    // The entry behind every line is known at once, so the choice and the
    // test read the right entry while the lines are still being added.
    m_comboProxy.ResetContent();
    m_comboEntries.clear();
    m_comboEntries.reserve(ranked.GetCount() + 1);
    // Tor, while it answers, is offered on its own, first, with its state
    // like any entry's (a Tor that failed its last test shows it dead).
    if (!m_strTorEntry.IsEmpty()) m_comboEntries.push_back(m_strTorEntry);
    for (POSITION pos = ranked.GetHeadPosition(); pos;) m_comboEntries.push_back(ranked.GetNext(pos));
    ::SendMessageA(m_comboProxy.m_hWnd, CB_INITSTORAGE, static_cast<WPARAM>(m_comboEntries.size()),
                   static_cast<LPARAM>(m_comboEntries.size()) * 48);
    ++m_nComboFill;
    m_nComboLines = 0;
    // The chosen line shows the entry's new state; anything typed stays as
    // typed.
    if (bEditIsLine && std::find(m_comboEntries.begin(), m_comboEntries.end(), strEditEntry) != m_comboEntries.end())
        strEdit = ChoiceLine(strEditEntry);
    m_comboProxy.SetWindowText(strEdit);
    AddComboLines();
}

void CSettingsDlg::AddComboLines()
{
    // A list of tens of thousands of lines goes in a part at a time, each in
    // a message of its own, so the window answers in between; a small one
    // goes in at once.
    const size_t kLinesAtOnce = 2000;
    size_t nEnd = m_nComboLines + kLinesAtOnce;
    if (nEnd > m_comboEntries.size()) nEnd = m_comboEntries.size();
    // Filled without a repaint per line.
    ::SendMessageA(m_comboProxy.m_hWnd, WM_SETREDRAW, FALSE, 0);
    for (; m_nComboLines < nEnd; ++m_nComboLines) {
        // Each line shows the entry (its password masked) with its grade and
        // time; the entry itself is kept beside it, for the test and for
        // "Save Settings".
        m_comboProxy.AddString(ChoiceLine(m_comboEntries[m_nComboLines]));
    }
    ::SendMessageA(m_comboProxy.m_hWnd, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_comboProxy.m_hWnd, nullptr, TRUE);
    if (m_nComboLines < m_comboEntries.size()) PostMessage(WM_FILL_PROXY_COMBO, m_nComboFill);
}

LRESULT CSettingsDlg::OnFillProxyCombo(WPARAM wParam, LPARAM)
{
    // A later refill has started over: this part is no longer wanted.
    if (wParam == m_nComboFill && m_comboProxy.m_hWnd) AddComboLines();
    return 0;
}

CString CSettingsDlg::GetChosenEntry() const
{
    if (!m_comboProxy.m_hWnd) return CString();
    CString strText;
    m_comboProxy.GetWindowText(strText);
    // A line of the list names the entry kept beside it; typed text is the
    // entry (a state mark copied along taken off, a masked password put
    // back). The mark is the screen's only: it never reaches a test, the
    // local proxy or ProxyName.
    int nLine = m_comboProxy.FindStringExact(-1, strText);
    if (nLine != CB_ERR && nLine < static_cast<int>(m_comboEntries.size())) {
        CString strLine;
        m_comboProxy.GetLBText(nLine, strLine);
        if (strLine == strText) return m_comboEntries[nLine];
    }
    return EntryOfShown(EntryFromChoiceText(strText));
}

CString CSettingsDlg::ChoiceLine(const CString& strEntry)
{
    CString strState = FormatProxyState(strEntry, m_results);
    CString strLine = ShownEntry(strEntry);
    if (!strState.IsEmpty()) strLine += " " + strState;
    return strLine;
}

CString CSettingsDlg::ShownEntry(const CString& strEntry)
{
    CString strShown = MaskProxyPassword(strEntry);
    if (strShown != strEntry) m_shownEntries[strShown.str()] = strEntry;
    return strShown;
}

CString CSettingsDlg::EntryOfShown(const CString& strShown) const
{
    auto it = m_shownEntries.find(strShown.str());
    return it == m_shownEntries.end() ? strShown : it->second;
}

void CSettingsDlg::OnProxySources()
{
    CProxySourcesDlg dlg(this);
    // A bypass list changed while browsing goes through the local proxy
    // counts at once, not at the next switch.
    if (dlg.DoModal() == IDOK && m_bEnabled && !m_bExiting)
        SetEveryConnectionOptions(kLocalProxyAddress, g_regProxyBypass.Get());
}

void CSettingsDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.DoModal();
        return;
    }
    CTrayDialog::OnSysCommand(nID, lParam);
}

void CSettingsDlg::OnPaint()
{
    if (!IsIconic()) {
        CWnd::OnPaint();
        return;
    }
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(hdc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
}

HCURSOR CSettingsDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CSettingsDlg::OnSize(UINT nType, int cx, int cy)
{
    if (nType != SIZE_MINIMIZED) {
        CWnd::OnSize(nType, cx, cy);
        return;
    }
    if (g_bFirstMinimize) {
        ShowWindow(SW_MINIMIZE);
        g_bFirstMinimize = FALSE;
    } else {
        ShowWindow(SW_HIDE);
    }
}

void CSettingsDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kHideTimer) {
        ShowWindow(SW_HIDE);
        KillTimer(kHideTimer);
    } else if (nIDEvent == kShowTimer) {
        KillTimer(kShowTimer);
    } else if (nIDEvent == JOB_DEADLINE_TIMER) {
        FinishNetJob();
    } else if (nIDEvent == PROBE_DEADLINE_TIMER) {
        // Whatever the look around found by now counts.
        FinishFailoverProbe(TRUE);
    } else if (nIDEvent == OUTAGE_RETRY_TIMER) {
        if (m_bEnabled && !m_probeJob.IsRunning()) StartFailoverProbe(FALSE);
    } else if (nIDEvent == TEST_ALL_TIMER) {
        if (!m_pBatch || m_pBatch->IsFinished()) {
            FinishTestAll();
        } else {
            CString strProgress;
            strProgress.Format("Tested %d of %d", m_pBatch->Done(), m_pBatch->Total());
            SetStatusText(strProgress);
        }
    }
    CWnd::OnTimer(nIDEvent);
}

void CSettingsDlg::OnConfiguration()
{
    // Asked for while the start that hides into the tray has not had its
    // first tick yet (a second start right behind the first): the window
    // the user asked for stays.
    KillTimer(kHideTimer);
    RemoveTrayIcon();
    ShowWindow(SW_SHOW);
}

void CSettingsDlg::OnCancel()
{
    AddTrayIcon();
    ShowWindow(SW_HIDE);
}

void CSettingsDlg::OnInitMenuPopup(CMenu* pPopupMenu, UINT, BOOL bSysMenu)
{
    AfxUpdateMenuPopup(this, pPopupMenu, bSysMenu);
}

void CSettingsDlg::RestartCleaner()
{
    m_cleanerThread.Stop();
    m_cleanerThread.SetJobs(m_bClearTmpFiles, m_bClearCookies, m_bDeleteAddresses, m_bDeleteHistory);
    m_cleanerThread.Start();
}
