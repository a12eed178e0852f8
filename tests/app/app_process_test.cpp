// cloakwall.exe as a process: one instance at a time, a second start that
// brings the first forward and ends, the Exit command posted from outside
// (as the installer does), and a new first instance after a kill; Exit
// while a proxy test runs or a message box is open, and a start right
// after an Exit.
#include "support/folder_listing.h"
#include "support/loopback_tcp.h"
#include "support/raw_file.h"
#include "support/raw_registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kClass[] = "CloakwallSettings";
const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string ProgramPath()
{
    // The build tree's path as this Windows process sees it (Wine's Z: drive).
    std::string path = std::string("Z:") + CW_CLOAKWALL_EXE;
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path;
}

PROCESS_INFORMATION Start()
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + ProgramPath() + "\"";
    EXPECT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    return pi;
}

// The running program's settings window with its controls, waited for: the
// window is found by its class as soon as it is made, before its controls
// are (a handle of the proxy box taken then would be null for good).
HWND WaitForWindow(DWORD dwProcessId, int nMaxMs = 20000)
{
    for (int waited = 0; waited < nMaxMs; waited += 50) {
        for (HWND h = FindWindowExA(nullptr, nullptr, kClass, nullptr); h;
             h = FindWindowExA(nullptr, h, kClass, nullptr)) {
            DWORD pid = 0;
            if (GetWindowThreadProcessId(h, &pid) && pid == dwProcessId && GetDlgItem(h, 1008)) return h;
        }
        Sleep(50);
    }
    return nullptr;
}

// Polls a condition on another process's window for up to ten seconds: the
// machine may be busy, and nothing here is a timing test.
template <class Pred>
bool Eventually(Pred pred)
{
    for (int waited = 0; waited < 10000; waited += 20) {
        if (pred()) return true;
        Sleep(20);
    }
    return pred();
}

// A message box (or any dialog) the program shows beside its settings
// window, waited for.
struct FindBox {
    DWORD dwPid;
    HWND hMain;
    HWND hFound;
};

BOOL CALLBACK FindBoxProc(HWND h, LPARAM l)
{
    FindBox* f = reinterpret_cast<FindBox*>(l);
    DWORD pid = 0;
    char cls[32] = "";
    GetWindowThreadProcessId(h, &pid);
    GetClassNameA(h, cls, sizeof cls);
    if (pid != f->dwPid || h == f->hMain || !IsWindowVisible(h) || std::strcmp(cls, "#32770") != 0) return TRUE;
    f->hFound = h;
    return FALSE;
}

HWND WaitForBox(DWORD dwProcessId, HWND hMain)
{
    FindBox find = {dwProcessId, hMain, nullptr};
    for (int waited = 0; waited < 10000 && !find.hFound; waited += 20) {
        EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&find));
        if (!find.hFound) Sleep(20);
    }
    return find.hFound;
}

// Posts Exit and returns the milliseconds until the process ended (-1: not
// within ten seconds).
long ExitAndTime(HWND hWnd, const PROCESS_INFORMATION& pi)
{
    auto t0 = std::chrono::steady_clock::now();
    PostMessageA(hWnd, WM_COMMAND, 32775, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) return -1;
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

bool Ended(const PROCESS_INFORMATION& pi, DWORD dwMs, DWORD* pdwCode = nullptr)
{
    if (WaitForSingleObject(pi.hProcess, dwMs) != WAIT_OBJECT_0) return false;
    if (pdwCode) GetExitCodeProcess(pi.hProcess, pdwCode);
    return true;
}

void Release(PROCESS_INFORMATION& pi)
{
    if (pi.hProcess) {
        if (!Ended(pi, 0)) {
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 10000);
        }
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    pi = PROCESS_INFORMATION{};
}

// Every file in the folder goes: what an earlier run's program left there
// (its list, stored results, a cut-short save) must not decide this run.
void EmptyFolder(const std::string& folder)
{
    for (const std::string& name : FolderNames(folder)) DeleteFileA((folder + name).c_str());
}

class AppProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_strFolder = std::string(temp) + "cw_app_test\\";
        CreateDirectoryA(m_strFolder.c_str(), nullptr);
        EmptyFolder(m_strFolder);
        rawreg::ForgetCloakwallInstall();
        const char* key = rawreg::kCloakwallKey;
        // An installed program at a later start: no first-run download, no
        // stored proxy, so nothing here touches the network.
        rawreg::PutText(HKEY_LOCAL_MACHINE, key, "AppPath", m_strFolder);
        rawreg::PutText(HKEY_LOCAL_MACHINE, key, "AppFullPath", ProgramPath());
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "RunFirst", 1);
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "Minimize", 1);
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "ClearTmpFiles", 0);
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "ClearCookies", 0);
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "DeleteAddresses", 0);
        rawreg::PutDword(HKEY_LOCAL_MACHINE, key, "DeleteHistory", 0);
        // The browser at a proxy that is not the program's, whatever other
        // tests left there: a start leaves it, only Exit sets it direct.
        rawreg::PutDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 1);
        rawreg::PutText(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", "10.1.2.3:3128");
    }
    void TearDown() override
    {
        Release(m_first);
        Release(m_second);
        rawreg::ForgetCloakwallInstall();
        rawreg::PutDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 0);
        EmptyFolder(m_strFolder);
        RemoveDirectoryA(m_strFolder.c_str());
    }

    std::string m_strFolder;
    PROCESS_INFORMATION m_first = {};
    PROCESS_INFORMATION m_second = {};
};

} // namespace

TEST_F(AppProcessTest, SecondStartEndsAndAPostedExitEndsTheFirstCleanly)
{
    m_first = Start();
    HWND hWnd = WaitForWindow(m_first.dwProcessId);
    ASSERT_NE(nullptr, hWnd) << "the settings window never appeared";
    // Hidden into the tray after its first tick.
    EXPECT_TRUE(Eventually([&] { return !IsWindowVisible(hWnd); }));

    EXPECT_EQ(ProgramPath(), rawreg::StoredText(rawreg::Get(HKEY_LOCAL_MACHINE, rawreg::kRunKey, "Cloakwall")))
        << "start-up registers the start with Windows";

    m_second = Start();
    DWORD dwCode = 1234;
    ASSERT_TRUE(Ended(m_second, 20000, &dwCode)) << "the second instance keeps running";
    EXPECT_EQ(0u, dwCode);
    EXPECT_FALSE(Ended(m_first, 0));
    EXPECT_EQ(hWnd, FindWindowA(kClass, nullptr));
    EXPECT_TRUE(Eventually([&] { return IsWindowVisible(hWnd) != FALSE; }))
        << "the second start brings the first instance's window up";

    // What the installer does to stop the program: the tray menu's Exit.
    ASSERT_TRUE(PostMessageA(hWnd, WM_COMMAND, 32775, 0));
    ASSERT_TRUE(Ended(m_first, 20000, &dwCode)) << "Exit did not end the program";
    EXPECT_EQ(0u, dwCode);
    EXPECT_EQ(0u, rawreg::Get(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable").Dword())
        << "Exit leaves the browser connection direct";
    EXPECT_EQ(nullptr, FindWindowA(kClass, nullptr));
}

// An Exit under way (its window marked ending, as Exit does first, while it
// puts the browser back) is no running instance to hand over to: a start
// meanwhile waits for it and, when it does not go, runs all the same.
TEST_F(AppProcessTest, AStartDuringAnExitDoesNotHandOverToTheEndingProgram)
{
    m_first = Start();
    HWND hFirst = WaitForWindow(m_first.dwProcessId);
    ASSERT_NE(nullptr, hFirst);
    ASSERT_TRUE(SetPropA(hFirst, "CloakwallEnding", reinterpret_cast<HANDLE>(1)));

    m_second = Start();
    HWND hSecond = WaitForWindow(m_second.dwProcessId);
    EXPECT_NE(nullptr, hSecond) << "the start took the ending program for a running one and ended";
    EXPECT_FALSE(IsWindowVisible(hFirst)) << "the ending program was asked to show itself";
    if (hSecond) PostMessageA(hSecond, WM_COMMAND, 32775, 0);
    PostMessageA(hFirst, WM_COMMAND, 32775, 0);
    EXPECT_TRUE(Ended(m_second, 20000));
    EXPECT_TRUE(Ended(m_first, 20000));
}

TEST_F(AppProcessTest, AfterAKillANewStartIsAFirstInstanceAgain)
{
    m_first = Start();
    ASSERT_NE(nullptr, WaitForWindow(m_first.dwProcessId));
    TerminateProcess(m_first.hProcess, 9);
    ASSERT_TRUE(Ended(m_first, 10000));

    m_second = Start();
    HWND hWnd = WaitForWindow(m_second.dwProcessId);
    ASSERT_NE(nullptr, hWnd) << "the new start took itself for a second instance";
    EXPECT_FALSE(Ended(m_second, 200));
    PostMessageA(hWnd, WM_COMMAND, 32775, 0);
    EXPECT_TRUE(Ended(m_second, 20000));
}

TEST_F(AppProcessTest, ExitEndsTheProgramAtOnceWhateverIsOpenAndANewStartWaitsForIt)
{
    // A proxy that accepts and never answers, and a vendor that does the
    // same: a test of the proxy runs until its deadline, 15 s.
    CSilentLoopbackListener silentProxy, silentVendor;
    ASSERT_NE(0, silentProxy.Port());
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "UpdateServer", silentVendor.HostPort());
    const std::string list = m_strFolder + "proxylist.txt";
    WriteRaw(list, silentProxy.HostPort() + "\r\n");

    m_first = Start();
    HWND hWnd = WaitForWindow(m_first.dwProcessId);
    ASSERT_NE(nullptr, hWnd);
    HWND hCombo = GetDlgItem(hWnd, 1008);
    // The window is there before its initialisation has filled the list;
    // a user sees it only after.
    // (A Tor running on this machine would be offered first, beside it.)
    const std::string entry = silentProxy.HostPort();
    LRESULT nLine = CB_ERR;
    ASSERT_TRUE(Eventually([&] {
        nLine = SendMessageA(hCombo, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
        return nLine != CB_ERR;
    }));
    // The user picks the entry from the list, and reads the notice.
    SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(hCombo, CB_SETCURSEL, static_cast<WPARAM>(nLine), 0);
    SendMessageA(hCombo, CB_SHOWDROPDOWN, FALSE, 0);
    HWND hBox = WaitForBox(m_first.dwProcessId, hWnd);
    ASSERT_NE(nullptr, hBox) << "no notice before the test";
    PostMessageA(hBox, WM_CLOSE, 0, 0);
    Sleep(500); // the test is under way
    long nMs = ExitAndTime(hWnd, m_first);
    std::printf("Exit with a proxy test running: the process ended after %ld ms\n", nMs);
    EXPECT_GE(nMs, 0) << "Exit did not end the program";
    EXPECT_LT(nMs, 4000) << "Exit took longer than promised (2 s) with room for a busy machine";
    EXPECT_EQ(0u, rawreg::Get(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable").Dword());

    // A message box open ("No proxy selected": the tray command without a
    // stored proxy), then Exit, and a new start right behind it.
    m_second = Start();
    hWnd = WaitForWindow(m_second.dwProcessId);
    ASSERT_NE(nullptr, hWnd);
    PostMessageA(hWnd, WM_COMMAND, 32771, 0);
    ASSERT_NE(nullptr, WaitForBox(m_second.dwProcessId, hWnd)) << "no message box";
    auto t0 = std::chrono::steady_clock::now();
    PostMessageA(hWnd, WM_COMMAND, 32775, 0);
    Release(m_first);
    m_first = Start();
    ASSERT_TRUE(Ended(m_second, 10000)) << "Exit with a message box open did not end the program";
    nMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    std::printf("Exit with a message box open: the process ended after %ld ms\n", nMs);
    EXPECT_LT(nMs, 4000);
    HWND hNew = WaitForWindow(m_first.dwProcessId);
    EXPECT_NE(nullptr, hNew) << "the start behind the Exit ended without a window";
    EXPECT_FALSE(Ended(m_first, 500));
    EXPECT_EQ(hNew, FindWindowA(kClass, nullptr));
    if (hNew) PostMessageA(hNew, WM_COMMAND, 32775, 0);
    EXPECT_TRUE(Ended(m_first, 10000));
}
