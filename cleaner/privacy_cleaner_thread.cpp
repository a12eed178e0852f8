// CPrivacyCleanerThread: the clean-up loop.
#include "privacy_cleaner_thread.h"

#include "framework/core/exceptions.h"
#include "typed_url_cleaner.h"
#include "url_cache_cleaner.h"

CPrivacyCleanerThread::CPrivacyCleanerThread(DWORD dwPassInterval)
    : m_bClearTmpFiles(FALSE), m_bClearCookies(FALSE), m_bDeleteAddresses(FALSE), m_bDeleteHistory(FALSE),
      m_dwPassInterval(dwPassInterval), m_nPasses(0)
{
}

CPrivacyCleanerThread::~CPrivacyCleanerThread()
{
    Stop();
}

void CPrivacyCleanerThread::SetJobs(BOOL bClearTmpFiles, BOOL bClearCookies, BOOL bDeleteAddresses, BOOL bDeleteHistory)
{
    m_bClearTmpFiles = bClearTmpFiles;
    m_bClearCookies = bClearCookies;
    m_bDeleteAddresses = bDeleteAddresses;
    m_bDeleteHistory = bDeleteHistory;
}

BOOL CPrivacyCleanerThread::RunPass(CUrlCacheCleaner& cacheCleaner, CTypedUrlCleaner& typedCleaner)
{
    // One reading of the switches serves the whole pass.
    const BOOL bCookies = m_bClearCookies, bHistory = m_bDeleteHistory;
    const BOOL bTmpFiles = m_bClearTmpFiles, bAddresses = m_bDeleteAddresses;

    if (bCookies) cacheCleaner.DeleteCookies(this);
    if (StopRequested()) return FALSE;
    if (bHistory) cacheCleaner.DeleteHistoryEntries(this);
    if (StopRequested()) return FALSE;
    if (bTmpFiles) cacheCleaner.DeleteTemporaryFiles(this);
    if (StopRequested()) return FALSE;
    if (bAddresses) typedCleaner.ClearTypedUrls();
    if (StopRequested()) return FALSE;
    if (bCookies && bHistory && bTmpFiles) cacheCleaner.DeleteAllEntries(this);
    return !StopRequested();
}

DWORD CPrivacyCleanerThread::Run(void* pParam)
{
    CUrlCacheCleaner cacheCleaner;
    CTypedUrlCleaner typedCleaner;
    while (!StopRequested()) {
        try {
            if (RunPass(cacheCleaner, typedCleaner)) ++m_nPasses;
        } catch (CException* e) {
            // Only a walker that could not grow its buffer throws: this pass
            // is lost, the next one tries again with fresh walkers.
            e->Delete();
        }
        if (WaitForStop(m_dwPassInterval)) break;
    }
    return 0;
}
