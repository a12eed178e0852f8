// CSettingsDlg: the program's one main window. A modal dialog that lives
// hidden behind the tray icon most of the time; it owns the local proxy and
// the two worker threads, shows the settings as check boxes and the
// upstream proxies in a combo box, and switches anonymous browsing.
#pragma once

#include "cleaner/privacy_cleaner_thread.h"
#include "framework/core/string_list.h"
#include "framework/win/combo_box.h"
#include "proxy/local_proxy_server.h"
#include "proxylist/net_job.h"
#include "proxylist/proxy_batch_test.h"
#include "proxylist/proxy_gen_request_thread.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_results.h"
#include "proxylist/proxy_results_writer.h"
#include "ui/tray_dialog.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct CFailoverFinding;

// 1 until the system first minimises the dialog (which then stays on the
// taskbar); every later minimise hides it.
extern BOOL g_bFirstMinimize;

// What "Save Settings" says when the registry refused a setting.
#define SETTINGS_NOT_STORED_TEXT                                                                                       \
    "The settings could not be stored. They stay as they were, and the next start uses the settings stored before."
// What "Save Settings" asks before it switches to a proxy graded transparent
// or tampering, and what it and the tray command ask before switching on a
// proxy that gave no answer (No is the default).
#define PROXY_LEAKS_QUESTION_TEXT "This proxy passes your address on to web sites. Use it anyway?"
#define PROXY_TAMPERS_QUESTION_TEXT "This proxy changes the pages it passes on. Use it anyway?"
// ... and before it switches to one that replaced a secure site's certificate.
#define PROXY_READS_HTTPS_QUESTION_TEXT                                                                                \
    "This proxy replaced a secure site's certificate: it can read your secure pages. Use it anyway?"
#define PROXY_DEAD_QUESTION_TEXT                                                                                       \
    "This proxy gave no answer when it was last tested, so pages may not load through it. Use it anyway?"
#define PROXY_LEAKS_QUESTION_CAPTION "Cloakwall"
// The line the result box adds for a proxy that took the connection and
// then never answered the request.
#define PROXY_SILENT_TEXT "The proxy did not answer a request, so pages will not load through it."
// The notice when neither the proxy in force nor any other answers.
#define NO_PROXY_ANSWERS_TEXT "No proxy answers; is the network down?"
// What "Save Settings" says when it cannot switch on before a running job
// has ended.
#define SWITCH_ON_WAITS_TEXT "A test or download is under way: save again to switch on when it has ended."
// What the status line says when "Save Settings" keeps the dialog because
// the proxy chosen is not in use: the switch failed, or the box is cleared.
#define SWITCH_ON_FAILED_TEXT                                                                                          \
    "Anonymous browsing is not on: the proxy did not answer. Choose another proxy and press \"Save Settings\"."
#define BROWSING_STAYS_OFF_FORMAT                                                                                      \
    "Anonymous browsing is off, so %s is not used. Tick \"Enable Anonymous Browsing\" and press \"Save "               \
    "Settings\" to browse through it."
// The upstream refusals in a row that make the local proxy move elsewhere.
#define UPSTREAM_FAILURES_BEFORE_FAILOVER 3

class CSettingsDlg : public CTrayDialog {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);
    ~CSettingsDlg() override;

    // Anonymous-browsing switch.
    BOOL ApplyStoredSettings();
    void OnOK() override;
    void OnToggleAnonymous();
    void OnUpdateToggleAnonymous(CCmdUI* pCmdUI);
    void OnExit();

    // Proxy list and tester commands.
    void OnUpdateProxyList();
    void OnSelchangeProxyCombo();
    // "Enable Anonymous Browsing" clicked: the user's last act is no
    // longer the choice of a proxy.
    void OnClickUseProxy() { m_bProxyChosenLast = FALSE; }
    void OnAddNewProxy();
    // "Proxy Sources...": the sources, judges and bypass list, and the
    // user's own proxies.
    void OnProxySources();
    BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort);

    // The combo box's list dropped down, and closed again: a test starts
    // only when it closed on another entry than the one it opened on (the
    // arrow keys on a closed list change the entry but choose nothing).
    void OnDropdownProxyCombo();
    void OnCloseupProxyCombo();

    // "Test All Proxies" (button and tray command): starts the test of every
    // list entry, or cancels the one that runs.
    void OnTestAllProxies();
    void OnUpdateTestAllProxies(CCmdUI* pCmdUI);
    BOOL IsTestAllRunning() const { return m_pBatch != nullptr; }

    // TRUE from a network job's start until the dialog has dealt with its
    // end, and while all proxies are being tested (a second one is refused
    // meanwhile, and its buttons are disabled).
    BOOL IsNetJobRunning() const { return m_netJob.GetSerial() != 0 || IsTestAllRunning(); }

    // Replaces the combo box's items with the entries of a list (each once),
    // ranked by their stored results: the tested best first, the untested
    // in alphabetical order, the dead last and marked. Keeps the text of its
    // edit field.
    void FillProxyCombo(const CStringList& entries);

    // Posted from the local proxy's connection thread: its upstream refused
    // connections in a row (wParam: the start of the local proxy they
    // belong to, CLocalProxyServer::GetStartSerial).
    static const UINT WM_UPSTREAM_DOWN = WM_APP + 3;
    // The look around before a failover has ended (wParam: its job's serial).
    static const UINT WM_FAILOVER_PROBED = WM_APP + 4;
    // Posted from a connection thread: the upstream refused the browser's
    // tunnels (CONNECT) in a row (wParam as for WM_UPSTREAM_DOWN).
    static const UINT WM_UPSTREAM_NO_TUNNELS = WM_APP + 5;

    // The entry the proxy box's text names: the entry behind a line of the
    // list, or what was typed, without a state mark.
    CString GetChosenEntry() const;

    // Posted by the Tor probe's job when it has looked (wParam: its serial).
    static const UINT WM_TOR_PROBE_DONE = WM_APP + 20;

    // Asks, off this thread, whether Tor's SOCKS port answers on this
    // machine; the list offers it first while it does.
    void ProbeTor();
    LRESULT OnTorProbeDone(WPARAM wParam, LPARAM lParam);
    // The entries a test of all proxies and failover choose from: Tor's
    // first while it is there, then the list's.
    void GetEntriesInForce(CStringList& rEntries) const;

    // The stored proxy test results, as loaded at start-up and kept since.
    const CProxyResults& GetProxyResults() const { return m_results; }

    void OnConfiguration();
    void OnCancel() override;
    BOOL OnInitDialog() override;

    // Destroyed in reverse: the local proxy first, then the two threads.
    CNetJob m_netJob;   // the one network job the dialog waits on, if any
    CNetJob m_probeJob; // the look around before a failover, beside it
    CNetJob m_torProbe; // the Tor probe, beside it
    int m_bEnabled;
    CPrivacyCleanerThread m_cleanerThread;
    CProxyGenRequestThread m_proxyGenThread;
    CLocalProxyServer m_proxyServer;
    CComboBox m_comboProxy;
    int m_bClearCookies;
    int m_bClearTmpFiles;
    int m_bDeleteAddresses;
    int m_bDeleteHistory;
    int m_bEnableActiveX;
    int m_bUseProxy;
    int m_bEnableJS;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnTimer(UINT_PTR nIDEvent);
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
    // IDOK: "Save Settings", the Enter key (in the proxy box's edit field
    // too), but not the Enter that closes the open proxy list.
    void OnOKOrEnter();
    LRESULT OnNetJobDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnTestAllDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursorMsg(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
    LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
    LRESULT OnProxyChosen(WPARAM wParam, LPARAM lParam);
    LRESULT OnUpstreamDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnUpstreamNoTunnels(WPARAM wParam, LPARAM lParam);
    LRESULT OnFailoverProbed(WPARAM wParam, LPARAM lParam);

private:
    // The six check boxes' members from their settings.
    void ReadSwitchSettings();
    void DoFirstRun();
    // Reads the proxy list from every source straight on a job, keeps it
    // and fills the combo box when it has entries, and asks the vendor for
    // the generator page unless the list could not be kept; then calls done
    // with the result, what to tell the user, and whether a source failed
    // or was cut. FALSE when it could not start (another job runs).
    BOOL RefreshProxyList(std::function<void(ProxyListUpdateResult, const CString&, BOOL)> done);
    // Tests one entry on a job and shows what came out, after the notice
    // that a test takes a few seconds; pfnAvailable runs (on this thread)
    // when the proxy answered.
    void TestEntry(const CString& strEntry, std::function<void()> pfnAvailable = nullptr);
    // The reachability check before switching on, on a job; done gets
    // whether the proxy answered, after the check's own message.
    void CheckReachableThen(const CString& strHost, int nPort, std::function<void(BOOL)> done);

    // Runs work on the dialog's network job with a deadline of dwLimitMs;
    // done runs on this thread when it ended, with TRUE when the work
    // returned in time (FALSE: its result is dropped). Buttons that would
    // start another job are disabled meanwhile and the cursor shows that
    // work is under way. FALSE, with done not called, while another job
    // runs or the program is ending.
    BOOL StartNetJob(DWORD dwLimitMs, CNetJob::Work work, std::function<void(BOOL)> done);
    void FinishNetJob();
    void ShowBusy(BOOL bBusy);
    // A message box owned by the dialog; IDCANCEL at once, showing nothing,
    // once Exit has begun.
    int Say(LPCTSTR pszText, LPCTSTR pszCaption = nullptr);
    // Closes the message boxes and dialogs the program has open on this
    // thread, other than this one.
    void CloseOtherWindows();
    // The browser's caption and connection as Exit leaves them.
    void RestoreBrowser();

    // Messages of the dialog to itself: a job ended (wParam: its serial),
    // and every notice of a closing list is in. The timer ticks when a
    // job's deadline has passed.
    static const UINT WM_NETJOB_DONE = WM_APP + 1;
    static const UINT WM_PROXY_CHOSEN = WM_APP + 2;
    static const UINT_PTR JOB_DEADLINE_TIMER = 997;
    // Reads the progress of "Test All Proxies" while it runs; the batch
    // posts the message when it has finished.
    static const UINT_PTR TEST_ALL_TIMER = 996;
    static const UINT WM_TEST_ALL_DONE = WM_APP + 6;
    // The next part of a long proxy list's lines (wParam: the refill's
    // serial).
    static const UINT WM_FILL_PROXY_COMBO = WM_APP + 7;
    // The second half of the end of "Test All Proxies": the list ranked and
    // the best chosen, after the results were taken in.
    static const UINT WM_TEST_ALL_RANK = WM_APP + 8;
    LRESULT OnTestAllRank(WPARAM wParam, LPARAM lParam);
    void AddComboLines();
    LRESULT OnFillProxyCombo(WPARAM wParam, LPARAM lParam);
    // The failover's look around: its deadline, and its next round while
    // nothing answers.
    static const UINT_PTR PROBE_DEADLINE_TIMER = 995;
    static const UINT_PTR OUTAGE_RETRY_TIMER = 994;

    // Failover, in steps: the look around (for a proxy that fails, or for
    // one that refuses tunnels: bForHttps), then what it found: a move to
    // strNext (nFault, an EProxyFault, says why), or the notice that
    // browsing through the chosen proxy stopped.
    void StartFailoverProbe(BOOL bForHttps);
    void FinishFailoverProbe(BOOL bInTime);
    // By value: the caller's strings (the proxy in force above all) change
    // on the way.
    void FailOver(CString strFailed, CString strNext, int nFault);
    void BrowsingStopped(const CFailoverFinding& found);
    void StopOutageWatch();
    // The running job's switch-on is called off (switching off meanwhile).
    void CancelSwitchOn();
    // Asks before switching on to a proxy that gave no answer (always) or
    // that passes the address on or changes pages (bAskAboutLeaks). TRUE:
    // go on.
    BOOL ConfirmProxy(const CString& strProxy, BOOL bAskAboutLeaks);

    // The end of "Test All Proxies": its results kept and the list re-ranked.
    void FinishTestAll();
    // When the box holds no working proxy and none is in force: the best
    // graded entry of the list put in the box (not stored). The entry, or
    // empty when it chose none.
    CString ChooseBestEntry();
    // Lets go of a test of all proxies without waiting for it (Exit).
    void AbandonTestAll();
    // The results file written after a change (a refused write keeps the
    // results of this run in memory only).
    void SaveProxyResults();
    // The tray tip from the state of the switch.
    void UpdateStateTip();
    // A notice from the tray icon, or in the dialog's status line while the
    // dialog is on screen and the icon is away.
    void ShowNotice(LPCTSTR pszTitle, LPCTSTR pszText);
    void SetStatusText(LPCTSTR pszText);

    // The combo box never shows a password: its items and edit text are
    // the entries with their passwords masked, and what it shows is turned
    // back into the entry it stands for before any use.
    CString ShownEntry(const CString& strEntry);
    CString EntryOfShown(const CString& strShown) const;

    CProxyResults m_results;
    CProxyResultsWriter m_resultsWriter;           // proxytest.ini, written off the window's thread
    std::map<std::string, CString> m_shownEntries; // masked text -> entry, for the entries with a password
    CStringList m_entries;                         // the list's entries, each once, alphabetically
    CString m_strTorEntry;                         // "socks5://127.0.0.1:9050 (Tor)" while Tor answers; else empty
    std::shared_ptr<CString> m_pTorFound;          // what the running Tor probe finds
    CString m_strActiveProxy;                      // the upstream the local proxy was started for; empty while off
    std::unique_ptr<CProxyBatchTest> m_pBatch;     // "Test All Proxies" while it runs

    std::vector<CString> m_comboEntries; // the entry behind each line of the list, the lines still to come included
    CString m_strTestAllSummary;         // the end's summary until the list is ranked
    size_t m_nComboLines = 0;            // the lines in the box so far
    WPARAM m_nComboFill = 0;             // the serial of the latest refill
    std::function<void(BOOL)> m_pfnJobDone;
    BOOL m_bJobSwitchesOn = FALSE; // the running job is the check before switching on
    BOOL m_bExiting = FALSE;
    BOOL m_bOutageTold = FALSE;                       // the notice that nothing answers was given
    int m_nListsRead = 0;                             // the lists the last list update read proxies from
    BOOL m_bProxyChosenLast = FALSE;                  // the user's last act was to choose a proxy (list, Add, Test All)
    BOOL m_bSwitchStateSaid = FALSE;                  // the status line says why Save left browsing off
    unsigned int m_nProbedStart = 0;                  // the local proxy's start the probe is about
    std::shared_ptr<CFailoverFinding> m_pProbeResult; // what the probe found
    BOOL m_bProbeForHttps = FALSE;                    // the probe looks for a proxy carrying tunnels
    int m_nSelAtDropdown = CB_ERR;
    void RestartCleaner();
    // Browser at the local proxy, local proxy (re)started towards the
    // proxy an entry names. FALSE when the local proxy could not start.
    BOOL SwitchOn(const CString& strEntry);
    // The local proxy alone (re)started towards an entry, with the failover
    // watch on; the browser's options are left alone.
    BOOL StartLocalProxy(const CString& strEntry);
    // Browser direct, UseProxy 0, local proxy stopped.
    void SwitchOff();
    // The part of "Save Settings" after the switch: the other settings
    // stored, the cleaner restarted, the dialog hidden. bStored: the
    // switch's own settings were written (or needed no write). bSwitchFailed:
    // switching on failed, and the dialog stays with the proxy box focused.
    void FinishSave(BOOL bStored, BOOL bSwitchFailed = FALSE);
    // The proxy list's line for an entry: its password masked, its state after it.
    CString ChoiceLine(const CString& strEntry);
};
