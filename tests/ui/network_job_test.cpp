// The dialog's network jobs against stand-ins that keep it waiting: a vendor
// server and a proxy that stay silent, and a proxy that trickles a byte every
// 300 ms. The dialog keeps answering, refuses a second job, and each job ends
// by its deadline with the message the user expects; arrow keys choose no
// entry. Timing figures are printed for the record, and only the promises
// (an answer within a second, the end by the deadline) are checked, with room.
#include "dialog_fixture.h"

#include "proxylist/net_job.h"
#include "res/resource.h"
#include "support/key_write_refusal.h"
#include "support/loopback_tcp.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace uitest;

namespace {

const DWORD kLimitMs = 1500;

// Answers any request with a head that promises a long body, then sends it
// a byte every 300 ms.
void Trickle(SOCKET_HANDLE s)
{
    TestRecvHead(s);
    if (!TestSend(s, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100000\r\n\r\n")) return;
    for (int i = 0; i < 100 && TestSend(s, "1"); ++i) Sleep(300);
}

class NetworkJobTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_saved = GetNetJobLimits();
        CNetJobLimits limits;
        limits.dwListDownloadMs = limits.dwProxyTestMs = limits.dwReachabilityMs = limits.dwGeneratorMs = kLimitMs;
        SetNetJobLimits(limits);
    }
    void TearDown() override
    {
        SetNetJobLimits(m_saved);
        DialogTest::TearDown();
    }

    // Starts a job with a click (without waiting for it) and runs the
    // thread's messages until it ends. The dialog is free while the job runs
    // when another thread's message is answered and the job is still running
    // afterwards: the peers hold it until its deadline. Returns how long the
    // job took; the longest wait for an answer is printed, for the record.
    long RunWatched(const std::function<void()>& start, const char* pszWhat)
    {
        CAnswerWatch watch(m_pDlg->m_hWnd);
        auto t0 = std::chrono::steady_clock::now();
        start();
        EXPECT_TRUE(m_pDlg->IsNetJobRunning()) << pszWhat;
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_pDlg->m_hWnd, IDC_UPDATEPROXYLIST))) << pszWhat;
        const int nBefore = watch.Answered();
        bool bAnsweredWhileRunning = false;
        PumpUntil(
            [&] {
                if (!m_pDlg->IsNetJobRunning()) return true;
                if (watch.Answered() > nBefore) bAnsweredWhileRunning = true;
                return false;
            },
            30000);
        long ms = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
        watch.Stop();
        std::printf("%s: ended after %ld ms (deadline %lu ms), longest wait for an answer %ld ms\n", pszWhat, ms,
                    static_cast<unsigned long>(kLimitMs), watch.LongestMs());
        EXPECT_TRUE(bAnsweredWhileRunning) << pszWhat;
        EXPECT_FALSE(m_pDlg->IsNetJobRunning()) << pszWhat;
        EXPECT_LT(ms, static_cast<long>(kLimitMs) + 2000) << pszWhat;
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_pDlg->m_hWnd, IDC_UPDATEPROXYLIST))) << pszWhat;
        return ms;
    }

    CNetJobLimits m_saved;
};

} // namespace

TEST_F(NetworkJobTest, SlowPeersNeitherFreezeTheDialogNorOutlastTheDeadline)
{
    CSilentLoopbackListener silentVendor, silentProxy;
    CTestTcpServer trickleProxy(Trickle);
    ASSERT_TRUE(trickleProxy.IsListening());
    Store(StoredSettings{});
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UpdateServer", silentVendor.HostPort());
    g_regUpdateServer.Read();
    const std::string trickle = "127.0.0.1:" + std::to_string(trickleProxy.Port());
    WriteRaw(ListFile(), "1.1.1.1:1\r\n" + silentProxy.HostPort() + "\r\n" + trickle + "\r\n");
    CSettingsDlg& dlg = Open();
    HWND hCombo = dlg.m_comboProxy.m_hWnd;

    // Arrow keys on the closed list move through the entries and test none.
    ::SendMessageA(hCombo, WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageA(hCombo, WM_KEYDOWN, VK_DOWN, 0);
    PumpFor(200);
    EXPECT_NE(CB_ERR, dlg.m_comboProxy.GetCurSel()) << "the keys did move the selection";
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(dlg.IsNetJobRunning());

    // A vendor that never answers: the update fails by its deadline and the
    // old list stays.
    RunWatched([&] { ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_UPDATEPROXYLIST), BM_CLICK, 0, 0); },
               "list download, silent vendor");
    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ(0u, Boxes()[0].find("Error|Proxy List Update Failed - the proxy list could not be downloaded."));
    EXPECT_EQ(3u, ComboItems().size());

    // Proxies that accept and then never answer, or trickle: they connect,
    // but no sample comes by the deadline (0.00 KB/sec, as for a proxy that
    // cannot fetch it). A second job meanwhile is refused.
    for (const std::string& entry : {silentProxy.HostPort(), trickle}) {
        ForgetBoxes();
        RunWatched(
            [&] {
                int n = dlg.m_comboProxy.FindStringExact(-1, entry.c_str());
                // Closing the list on the entry it opened on chooses nothing new.
                ::SendMessageA(hCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
                ::SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
                ::SendMessageA(hCombo, CB_SETCURSEL, static_cast<WPARAM>(n), 0);
                ::SendMessageA(hCombo, CB_SHOWDROPDOWN, FALSE, 0);
                PumpUntil([&] { return dlg.IsNetJobRunning(); });
                dlg.SendMessage(WM_COMMAND, IDC_UPDATEPROXYLIST, 0); // refused while the test runs
            },
            ("proxy test, " + std::string(entry == trickle ? "trickling" : "silent") + " proxy").c_str());
        std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(2u, boxes.size()) << entry << " " << (boxes.empty() ? "" : boxes[0]);
        EXPECT_EQ("Cloakwall|Testing the proxy you selected. This may take a few seconds", boxes[0]);
        EXPECT_EQ(0u, boxes[1].find("|Proxy Server " + entry + " is Available\r\n")) << boxes[1];
        EXPECT_NE(std::string::npos, boxes[1].find("Download Speed 0.00 KB/sec")) << boxes[1];
    }

    // The check before switching on, against a proxy whose port is closed,
    // answers with its own messages as before.
    ForgetBoxes();
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_SETCHECK, 1, 0);
    dlg.m_comboProxy.SetWindowText(("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str());
    Click(IDOK);
    EXPECT_EQ(
        (std::vector<std::string>{"Error|Unable to connect to proxy server", "ERROR|Please choose another Proxy!"}),
        Boxes());
}

TEST_F(DialogTest, AStartThatDoesNotSwitchOnAndASessionEndLeaveTheBrowserDirect)
{
    const char* kMain = "Software\\Microsoft\\Internet Explorer\\Main";
    // What a copy killed while switched on leaves: the browser at the local
    // address and the caption.
    CLoopbackHttpServer upstream;
    StoredSettings s;
    s.strProxyName = upstream.HostPort(); // stored, but anonymous browsing off
    Store(s);
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    rawreg::PutText(HKEY_CURRENT_USER, kMain, "Window Title", "Cloakwall is Enabled");
    CSettingsDlg& dlg = Open();
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ("", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kMain, "Window Title")));

    // Switched on, then the session ends without an Exit.
    Command(ID_TOGGLE_ANONYMOUS);
    ASSERT_EQ(1u, BrowserProxyEnable());
    ASSERT_EQ("Cloakwall is Enabled", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kMain, "Window Title")));
    EXPECT_EQ(TRUE, dlg.SendMessage(WM_QUERYENDSESSION, 0, 0));
    dlg.SendMessage(WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ("", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kMain, "Window Title")));
    EXPECT_EQ(1u, StoredDword("UseProxy")) << "the next start switches on again";
}

TEST_F(DialogTest, ARefusedWriteIsReportedAndTheSettingStaysAsItWas)
{
    Store(StoredSettings{});
    CSettingsDlg& dlg = Open();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_ENABLEJS), BM_SETCHECK, 1, 0);
    {
        rawreg::KeyWriteRefusal refusal(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey);
        ASSERT_TRUE(refusal.Refusing());
        Click(IDOK);
    }
    EXPECT_EQ(std::vector<std::string>{"Error|" SETTINGS_NOT_STORED_TEXT}, Boxes());
    EXPECT_EQ(0u, StoredDword("EnableJS"));
    EXPECT_EQ(0u, g_regEnableJS.Get()) << "the copy in memory says what the registry holds";

    // Allowed again, the same save stores it and says nothing.
    ForgetBoxes();
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_ENABLEJS), BM_SETCHECK, 1, 0);
    Click(IDOK);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(1u, StoredDword("EnableJS"));
}

// Switching off needs no network: from the tray and with "Save Settings",
// during a list download and during "Test All Proxies", the browser is
// direct at once and the job goes on; switching on waits for the job.
TEST_F(NetworkJobTest, SwitchingOffNeverWaitsForAJobAndCancelsNone)
{
    CSilentLoopbackListener silentVendor; // the list and the judge: neither answers
    CLoopbackHttpServer upstream;
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = upstream.HostPort();
    Store(s);
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UpdateServer", silentVendor.HostPort());
    g_regUpdateServer.Read();
    WriteRaw(ListFile(), upstream.HostPort() + "\r\n");
    CNetJobLimits limits = GetNetJobLimits();
    limits.dwTestAllMs = 3000;
    SetNetJobLimits(limits);
    CSettingsDlg& dlg = Open();
    ASSERT_EQ(1u, BrowserProxyEnable());
    CMenu* pPopup = dlg.GetTrayMenu().GetSubMenu(0);
    auto trayItemGrey = [&] {
        dlg.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(pPopup->m_hMenu), 0);
        return (pPopup->GetMenuState(ID_TOGGLE_ANONYMOUS, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };

    // The tray command during a download.
    dlg.SendMessage(WM_COMMAND, IDC_UPDATEPROXYLIST, 0);
    ASSERT_TRUE(dlg.IsNetJobRunning());
    EXPECT_FALSE(trayItemGrey()) << "switching off is offered";
    dlg.SendMessage(WM_COMMAND, ID_TOGGLE_ANONYMOUS, 0);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_TRUE(dlg.IsNetJobRunning()) << "the download goes on";
    // Switching on waits: the item is grey meanwhile.
    EXPECT_TRUE(trayItemGrey());
    WaitForJob();
    EXPECT_FALSE(trayItemGrey());
    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ(0u, Boxes()[0].find("Error|Proxy List Update Failed")) << Boxes()[0];

    // On again; then "Save Settings" with the box cleared during Test All.
    Command(ID_TOGGLE_ANONYMOUS);
    ASSERT_EQ(1u, BrowserProxyEnable());
    dlg.OnConfiguration();
    dlg.SendMessage(WM_COMMAND, IDC_TESTALLPROXIES, 0);
    ASSERT_TRUE(dlg.IsTestAllRunning());
    HWND hSave = ::GetDlgItem(dlg.m_hWnd, IDOK);
    EXPECT_TRUE(::IsWindowEnabled(hSave));
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_SETCHECK, 0, 0);
    ::SendMessageA(hSave, BM_CLICK, 0, 0);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_FALSE(dlg.m_proxyServer.IsRunning());
    EXPECT_EQ(0u, StoredDword("UseProxy"));
    EXPECT_FALSE(dlg.IsWindowVisible()) << "saved";
    EXPECT_TRUE(dlg.IsTestAllRunning()) << "the test goes on";

    // Ticked again while the test runs: nothing switches on before its end.
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_SETCHECK, 1, 0);
    ::SendMessageA(hSave, BM_CLICK, 0, 0);
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_TRUE(dlg.IsWindowVisible());
    char status[256] = "";
    ::GetDlgItemTextA(dlg.m_hWnd, IDC_TESTSTATUS, status, sizeof status);
    EXPECT_STREQ(SWITCH_ON_WAITS_TEXT, status);
    WaitForJob();
}
