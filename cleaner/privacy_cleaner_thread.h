// CPrivacyCleanerThread: clears the browser's traces every ten seconds -
// cookies, visited pages, temporary Internet files, typed addresses - for
// as long as it runs. The first pass starts as soon as the thread does.
//
// The owner changes the jobs with Stop, SetJobs, Start: Stop ends a pass
// between two cache entries (or the wait between passes) and returns once
// the thread has ended, so no job runs with the old switches after it.
#pragma once

#include "worker_thread.h"

#include <atomic>

class CPrivacyCleanerThread : public CWorkerThread {
public:
    enum : DWORD { PASS_INTERVAL_MS = 10000 };

    // dwPassInterval: the pause between two passes.
    explicit CPrivacyCleanerThread(DWORD dwPassInterval = PASS_INTERVAL_MS);
    ~CPrivacyCleanerThread() override;

    // The four switches, each on when nonzero. A pass reads them once at its
    // start; the owner sets them between Stop and Start.
    void SetJobs(BOOL bClearTmpFiles, BOOL bClearCookies, BOOL bDeleteAddresses, BOOL bDeleteHistory);

    // Passes run to their end since this object was made.
    LONG GetPassCount() const { return m_nPasses; }

protected:
    DWORD Run(void* pParam) override;

private:
    // One pass of the enabled jobs; FALSE when it was told to stop on the way.
    BOOL RunPass(class CUrlCacheCleaner& cacheCleaner, class CTypedUrlCleaner& typedCleaner);

    std::atomic<BOOL> m_bClearTmpFiles;
    std::atomic<BOOL> m_bClearCookies;
    std::atomic<BOOL> m_bDeleteAddresses;
    std::atomic<BOOL> m_bDeleteHistory;
    const DWORD m_dwPassInterval;
    std::atomic<LONG> m_nPasses;
};
