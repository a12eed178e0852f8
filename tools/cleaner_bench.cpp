// cleaner-bench: measures the privacy cleaner on the prefix's real URL cache.
// Run it under Wine (scripts/wine-session build/windows
// build/windows/tools/cleaner-bench.exe [entries] [idle-seconds]); it empties
// the prefix's URL cache.
//
//  1. fills the cache with `entries` entries (80 % content, 10 % cookies,
//     10 % visited pages) and walks them once without deleting;
//  2. fills it again and times one full pass of the cleaner thread with every
//     job on;
//  3. fills it again and times a Stop in the middle of a pass;
//  4. leaves the thread idle with its real ten-second period for
//     `idle-seconds` and reports the processor time it used meanwhile.
#include "cleaner/privacy_cleaner_thread.h"
#include "cleaner/url_cache_walker.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

int CountEntries()
{
    int n = 0;
    for (const char* pszPattern : {static_cast<const char*>(nullptr), "Cookie:", "Visited:"}) {
        CUrlCacheWalker walker;
        for (auto* p = walker.FindFirst(pszPattern); p; p = walker.FindNext()) ++n;
    }
    return n;
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

template <class Condition> void WaitFor(Condition condition)
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

    std::printf("3. Stop in the middle of a pass\n");
    Fill(nEntries);
    {
        CPrivacyCleanerThread thread(0xFFFFFFFF);
        thread.SetJobs(TRUE, TRUE, TRUE, TRUE);
        thread.Start();
        Sleep(300);
        const auto t0 = Clock::now();
        thread.Stop();
        std::printf("  Stop returned after %.1f ms; %d of %d entries left\n", MsSince(t0), CountEntries(), nEntries);
    }
    ClearCache();

    std::printf("4. idle for %d s with the real period, every job on, empty cache\n", nIdleSeconds);
    {
        CPrivacyCleanerThread thread;
        thread.SetJobs(TRUE, TRUE, TRUE, TRUE);
        thread.Start();
        WaitFor([&] { return thread.GetPassCount() >= 1; });
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread.GetThreadId());
        const double cpu0 = ThreadCpuMs(h);
        const LONG nPasses0 = thread.GetPassCount();
        Sleep(nIdleSeconds * 1000);
        const double cpu1 = ThreadCpuMs(h);
        std::printf("  thread CPU over %d s: %.1f ms (%ld passes in that time)\n", nIdleSeconds, cpu1 - cpu0,
                    thread.GetPassCount() - nPasses0);
        const auto t0 = Clock::now();
        thread.Stop();
        std::printf("  Stop during the wait returned after %.1f ms\n", MsSince(t0));
        CloseHandle(h);
    }
    return 0;
}
