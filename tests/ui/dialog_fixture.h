// The settings dialog in the test's own process: stored settings arranged
// in the prefix's registry (and the settings objects re-read), an
// application folder of the test's own, a loopback server that stands in
// for the vendor and, where a test needs one, for the upstream proxy; the
// dialog created modeless and driven with messages; message boxes recorded.
#pragma once

#include "browser/connection_options.h"
#include "proxylist/tor_probe.h"
#include "settings/settings_store.h"
#include "support/loopback_http_server.h"
#include "support/message_box_recorder.h"
#include "support/raw_file.h"
#include "support/raw_registry.h"
#include "ui/settings_dlg.h"
#include "ui/settings_window_class.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace uitest {

// What the registry holds before the dialog is made.
struct StoredSettings {
    DWORD dwRunFirst = 1;
    DWORD dwMinimize = 1;
    DWORD dwUseProxy = 0;
    std::string strProxyName;
    DWORD dwEnableJS = 0;
    DWORD dwEnableActiveX = 0;
    DWORD dwClearTmpFiles = 1;
    DWORD dwClearCookies = 1;
    DWORD dwDeleteAddresses = 1;
    DWORD dwDeleteHistory = 1;
    std::string strTmpProxy;
    // UpdateServer: empty names the test's vendor stand-in.
    std::string strUpdateServer;
    // ProxySources: none unless a test names its stand-ins, so no test
    // reads the public lists the program has as its default.
    std::vector<std::string> proxySources;
};

inline DWORD StoredDword(const char* name)
{
    return rawreg::Get(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, name).Dword();
}

inline std::string StoredText(const char* name)
{
    return rawreg::StoredText(rawreg::Get(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, name));
}

// Whether WinINet sends the user's requests to a proxy (Wine and Windows
// both keep the switch here).
inline DWORD BrowserProxyEnable()
{
    return rawreg::Get(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                       "ProxyEnable")
        .Dword();
}

inline std::string BrowserProxyServer()
{
    return rawreg::StoredText(rawreg::Get(
        HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyServer"));
}

// Sends one proxy request to 127.0.0.1:8080 and returns the answer's first
// line (empty when nothing listens or nothing came back). Tests name a host
// nobody resolves (".invalid"): only an upstream can answer for it, where an
// address in the user's own network would be reached by the proxy itself.
std::string RequestThroughLocalProxy(const std::string& url);

// The shown window of this thread whose caption is pszCaption (a modal
// dialog the code under test opened), or null.
HWND FindShownWindow(const char* pszCaption);

// Runs the thread's messages until the predicate holds or about two
// seconds passed; returns the predicate's last value.
template <class Pred>
bool PumpUntil(Pred pred, int nMaxMs = 2000)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (pred()) return true;
        if (GetTickCount() - start > static_cast<DWORD>(nMaxMs)) return false;
        Sleep(5);
    }
}

inline void PumpFor(int nMs)
{
    PumpUntil([] { return false; }, nMs);
}

// Sends the dialog a message every 50 ms from another thread, as another
// program (or the shell) would, and keeps the longest wait for its answer.
class CAnswerWatch {
public:
    explicit CAnswerWatch(HWND hWnd) : m_hWnd(hWnd)
    {
        m_thread = std::thread([this] {
            while (!m_bStop) {
                auto t0 = std::chrono::steady_clock::now();
                DWORD_PTR r = 0;
                if (!SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r))
                    m_nUnanswered++;
                else
                    m_nAnswered++;
                long ms = static_cast<long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
                        .count());
                if (ms > m_nLongestMs) m_nLongestMs = ms;
                Sleep(50);
            }
        });
    }
    ~CAnswerWatch() { Stop(); }
    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    long LongestMs() const { return m_nLongestMs; }
    int Unanswered() const { return m_nUnanswered; }
    int Answered() const { return m_nAnswered; }

private:
    HWND m_hWnd;
    std::atomic<bool> m_bStop{false};
    std::atomic<long> m_nLongestMs{0};
    std::atomic<int> m_nUnanswered{0};
    std::atomic<int> m_nAnswered{0};
    std::thread m_thread;
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings, re-reads every settings object, and points the
    // application folder and the vendor server at the test's own.
    void Store(const StoredSettings& s);
    // Creates the dialog (its initialisation runs at once).
    CSettingsDlg& Open();
    void Close();

    std::string ListFile() const { return m_strFolder + "proxylist.txt"; }
    std::string ResultsFile() const { return m_strFolder + "proxytest.ini"; }
    // Loads the results file until what it holds passes pred (at most 5 s):
    // the dialog writes it off its own thread.
    bool ResultsFileEventually(CProxyResults& rFile, const std::function<bool(const CProxyResults&)>& pred)
    {
        return PumpUntil([&] { return rFile.Load(ResultsFile().c_str()) && pred(rFile); }, 5000);
    }
    std::string MyProxiesFile() const { return m_strFolder + "myproxies.txt"; }
    std::vector<std::string> ComboItems() const;
    std::string ComboEditText() const;
    int CheckOf(int nID) const;
    // Texts of the boxes shown so far, "caption|text".
    std::vector<std::string> Boxes() const;
    void ForgetBoxes();

    // A command or click, and the network job it may have started, to its end.
    void Command(UINT nID)
    {
        m_pDlg->SendMessage(WM_COMMAND, nID, 0);
        WaitForJob();
    }
    void Click(int nID)
    {
        ::SendMessageA(::GetDlgItem(m_pDlg->m_hWnd, nID), BM_CLICK, 0, 0);
        WaitForJob();
    }
    // Runs the thread's messages until the dialog has dealt with the end of
    // its network job (at most 30 s: every job has a shorter deadline).
    void WaitForJob()
    {
        PumpUntil([&] { return !m_pDlg || !m_pDlg->IsNetJobRunning(); }, 30000);
    }
    // Chooses an entry the way the mouse does: the list drops down, the
    // entry is picked, the list closes on it. A tested entry is found by its
    // text before the state its line shows.
    void ChooseEntry(const std::string& item);

    std::string m_strFolder; // the application folder, ending with "\"
    std::unique_ptr<CLoopbackHttpServer> m_pServer;
    std::unique_ptr<CMessageBoxRecorder> m_pRecorder;
    std::unique_ptr<CSettingsDlg> m_pDlg;
    std::vector<WORD> m_torPorts; // the probe's ports before the test
};

} // namespace uitest
