// cloakwall.exe as a process: one instance at a time, a second start that
// brings the first forward and ends, the Exit command posted from outside
// (as the installer does), and a new first instance after a kill.
#include "support/raw_registry.h"

#include <gtest/gtest.h>

#include <windows.h>

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

// The running program's settings window, waited for.
HWND WaitForWindow(DWORD dwProcessId, int nMaxMs = 20000)
{
    for (int waited = 0; waited < nMaxMs; waited += 50) {
        HWND h = FindWindowA(kClass, nullptr);
        DWORD pid = 0;
        if (h && GetWindowThreadProcessId(h, &pid) && pid == dwProcessId) return h;
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

class AppProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_strFolder = std::string(temp) + "cw_app_test\\";
        CreateDirectoryA(m_strFolder.c_str(), nullptr);
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
        rawreg::PutDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 1);
    }
    void TearDown() override
    {
        Release(m_first);
        Release(m_second);
        rawreg::ForgetCloakwallInstall();
        rawreg::PutDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 0);
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
