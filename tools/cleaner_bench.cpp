// cleaner-bench: measures the privacy cleaner on the prefix's real URL cache.
// Run it under Wine (scripts/wine-session build/windows
// build/windows/tools/cleaner-bench.exe [entries] [idle-seconds]); it empties
// the prefix's URL cache.
//
//  1. fills the cache with `entries` entries (80 % content, 10 % cookies,
//     10 % visited pages) and walks them once without deleting;
//  2. fills it again and times one full pass of the cleaner thread with every
//     job on;
//  3. fills it again and times each job alone, in the order of a pass;
//  4. fills it again for each of three moments and times a Stop there, in
//     the middle of a pass;
//  5. leaves the thread idle with its real ten-second period for
//     `idle-seconds` and reports the processor time it used meanwhile;
//  6. times Stop of a proxy-generator request to a loopback server that
//     accepts the connection and never answers, with the default time-out.
#include <winsock2.h>

#include "cleaner/privacy_cleaner_thread.h"
#include "cleaner/typed_url_cleaner.h"
#include "cleaner/url_cache_cleaner.h"
#include "cleaner/url_cache_walker.h"
#include "proxylist/proxy_gen_request_thread.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

namespace {

typedef std::chrono::steady_clock Clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

bool AddEntry(const std::string& url, DWORD dwType)
{
    char file[MAX_PATH] = "";
    if (dwType == NORMAL_CACHE_ENTRY) {
        if (!CreateUrlCacheEntryA(url.c_str(), 0, "htm", file, 0)) return false;
        HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD cb = 0;
        WriteFile(h, "<html></html>", 13, &cb, nullptr);
        CloseHandle(h);
    }
    FILETIME zero = {};
    return CommitUrlCacheEntryA(url.c_str(), file[0] ? file : nullptr, zero, zero, dwType, nullptr, 0,
                                file[0] ? "htm" : nullptr, nullptr) != FALSE;
}

// The mix a browser leaves: mostly temporary files, some cookies and pages.
void Fill(int nEntries)
{
    const auto t0 = Clock::now();
    int nFailed = 0;
    for (int i = 0; i < nEntries; ++i) {
        bool ok;
        if (i % 10 == 0)
            ok = AddEntry("Cookie:bench@site" + std::to_string(i) + ".test/", COOKIE_CACHE_ENTRY);
        else if (i % 10 == 1)
            ok = AddEntry("Visited: bench@http://127.0.0.1/page" + std::to_string(i), URLHISTORY_CACHE_ENTRY);
        else
            ok = AddEntry("http://127.0.0.1/bench/file" + std::to_string(i) + ".gif", NORMAL_CACHE_ENTRY);
        if (!ok) ++nFailed;
    }
    std::printf("  filled %d entries in %.0f ms (%d failed)\n", nEntries, MsSince(t0), nFailed);
}

// Wine's null pattern lists every container, Windows' only the content one:
// each name counts once.
int CountEntries()
{
    std::set<std::string> names;
    for (const char* pszPattern : {static_cast<const char*>(nullptr), "Cookie:", "Visited:"}) {
        CUrlCacheWalker walker;
        for (auto* p = walker.FindFirst(pszPattern); p; p = walker.FindNext()) names.insert(p->lpszSourceUrlName);
    }
    return static_cast<int>(names.size());
}

void ClearCache()
{
    for (const char* pszPattern : {static_cast<const char*>(nullptr), "Cookie:", "Visited:"}) {
        CUrlCacheWalker walker;
        for (auto* p = walker.FindFirst(pszPattern); p; p = walker.FindNext())
            DeleteUrlCacheEntryA(p->lpszSourceUrlName);
    }
}

double ThreadCpuMs(HANDLE hThread)
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    if (!GetThreadTimes(hThread, &ftCreate, &ftExit, &ftKernel, &ftUser)) return -1;
    ULARGE_INTEGER k, u;
    k.LowPart = ftKernel.dwLowDateTime;
    k.HighPart = ftKernel.dwHighDateTime;
    u.LowPart = ftUser.dwLowDateTime;
    u.HighPart = ftUser.dwHighDateTime;
    return (k.QuadPart + u.QuadPart) / 10000.0;
}

// The cleaner thread with a clock on its stop checks: the longest stretch of
// work between two checks bounds how long a Stop can take.
class CTimedCleaner : public CPrivacyCleanerThread {
public:
    CTimedCleaner() : CPrivacyCleanerThread(0xFFFFFFFF) {}
    ~CTimedCleaner() override { Stop(); }
    BOOL StopRequested() const override
    {
        const auto now = Clock::now();
        if (m_nChecks++ > 0) {
            const double ms = std::chrono::duration<double, std::milli>(now - m_tLast).count();
            if (ms > m_dLongestGap) m_dLongestGap = ms;
        }
        m_tLast = now;
        return CPrivacyCleanerThread::StopRequested();
    }
    // Read after Stop only.
    mutable double m_dLongestGap = 0;
    mutable long m_nChecks = 0;
    mutable Clock::time_point m_tLast;
};

template <class Condition>
void WaitFor(Condition condition)
{
    while (!condition()) Sleep(1);
}

} // namespace

int main(int argc, char** argv)
{
    const int nEntries = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int nIdleSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    ClearCache();

    std::printf("1. walk without deleting\n");
    Fill(nEntries);
    {
        const auto t0 = Clock::now();
        int n = 0;
        CUrlCacheWalker walker;
        for (auto* p = walker.FindFirst(nullptr); p; p = walker.FindNext()) ++n;
        std::printf("  null pattern listed %d entries in %.0f ms, buffer %lu bytes\n", n, MsSince(t0),
                    walker.GetBufferCapacity());
    }
    ClearCache();

    std::printf("2. one pass, every job on\n");
    Fill(nEntries);
    {
        CPrivacyCleanerThread thread(0xFFFFFFFF);
        thread.SetJobs(TRUE, TRUE, TRUE, TRUE);
        const auto t0 = Clock::now();
        thread.Start();
        WaitFor([&] { return thread.GetPassCount() >= 1; });
        const double ms = MsSince(t0);
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread.GetThreadId());
        std::printf("  pass over %d entries: %.0f ms wall, %.0f ms thread CPU; %d entries left\n", nEntries, ms,
                    h ? ThreadCpuMs(h) : -1.0, CountEntries());
        if (h) CloseHandle(h);
    }

    std::printf("3. each job alone, in the order of a pass\n");
    Fill(nEntries);
    {
        CUrlCacheCleaner cleaner;
        CTypedUrlCleaner typed;
        auto time = [](const char* pszJob, auto job) {
            const auto t0 = Clock::now();
            job();
            const double ms = MsSince(t0);
            std::printf("  %-22s %6.0f ms, %d entries left\n", pszJob, ms, CountEntries());
        };
        time("DeleteCookies", [&] { cleaner.DeleteCookies(); });
        time("DeleteHistoryEntries", [&] { cleaner.DeleteHistoryEntries(); });
        time("DeleteTemporaryFiles", [&] { cleaner.DeleteTemporaryFiles(); });
        time("ClearTypedUrls", [&] { typed.ClearTypedUrls(); });
        time("DeleteAllEntries", [&] { cleaner.DeleteAllEntries(); });
    }

    std::printf("4. Stop in the middle of a pass\n");
    for (DWORD dwAfter : {100, 1000, 5000}) {
        Fill(nEntries);
        CTimedCleaner thread;
        thread.SetJobs(TRUE, TRUE, TRUE, TRUE);
        thread.Start();
        Sleep(dwAfter);
        const auto t0 = Clock::now();
        thread.Stop();
        const double ms = MsSince(t0);
        const double msLastCheck = std::chrono::duration<double, std::milli>(thread.m_tLast - t0).count();
        std::printf("  Stop %lu ms into the pass returned after %.1f ms (last check %.1f ms after the request; "
                    "%ld checks, longest gap %.1f ms); %d of %d entries left\n",
                    dwAfter, ms, msLastCheck, thread.m_nChecks, thread.m_dLongestGap, CountEntries(), nEntries);
        ClearCache();
    }

    std::printf("5. idle for %d s with the real period, empty cache\n", nIdleSeconds);
    {
        // Side by side: one thread with every job on, one with all off (its
        // passes do nothing, so what it uses is the waiting itself).
        CPrivacyCleanerThread allOn, allOff;
        allOn.SetJobs(TRUE, TRUE, TRUE, TRUE);
        allOff.SetJobs(FALSE, FALSE, FALSE, FALSE);
        allOn.Start();
        allOff.Start();
        WaitFor([&] { return allOn.GetPassCount() >= 1 && allOff.GetPassCount() >= 1; });
        HANDLE hOn = OpenThread(THREAD_QUERY_INFORMATION, FALSE, allOn.GetThreadId());
        HANDLE hOff = OpenThread(THREAD_QUERY_INFORMATION, FALSE, allOff.GetThreadId());
        const double cpuOn0 = ThreadCpuMs(hOn), cpuOff0 = ThreadCpuMs(hOff);
        const LONG nPasses0 = allOn.GetPassCount();
        Sleep(nIdleSeconds * 1000);
        std::printf("  every job on: thread CPU %.1f ms (%ld passes in that time)\n", ThreadCpuMs(hOn) - cpuOn0,
                    allOn.GetPassCount() - nPasses0);
        std::printf("  every job off: thread CPU %.1f ms\n", ThreadCpuMs(hOff) - cpuOff0);
        const auto t0 = Clock::now();
        allOn.Stop();
        std::printf("  Stop during the wait returned after %.1f ms\n", MsSince(t0));
        CloseHandle(hOn);
        CloseHandle(hOff);
    }

    std::printf("6. Stop of a generator request to a server that never answers\n");
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof sa;
        bind(sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(sock, 8);
        getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &len);
        const std::string server = "127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
        CProxyGenRequestThread request;
        request.Start(server.c_str());
        Sleep(500);
        const auto t0 = Clock::now();
        request.Stop();
        std::printf("  time-out %lu ms: started, 500 ms later Stop returned after %.0f ms\n",
                    static_cast<unsigned long>(CProxyGenRequestThread::REQUEST_TIMEOUT_MS), MsSince(t0));
        closesocket(sock);
        WSACleanup();
    }
    return 0;
}
