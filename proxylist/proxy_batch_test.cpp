// The batch's threads: one that asks the judge directly and then runs the
// workers, which take the next untested entry until none is left or the
// deadline passes.
#include "proxy_batch_test.h"

#include <windows.h>

CProxyBatchTest::~CProxyBatchTest()
{
    Cancel();
    Wait();
}

BOOL CProxyBatchTest::Start(const CStringList& entries, LPCTSTR pszJudgeUrl, DWORD dwDeadlineMs, int nParallel,
                            DWORD dwEntryLimitMs)
{
    if (m_thread.joinable()) return FALSE;
    m_results.clear();
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        CString strEntry = entries.GetNext(pos);
        if (strEntry.IsEmpty()) continue;
        CProxyBatchResult result;
        result.strEntry = strEntry;
        m_results.push_back(result);
    }
    m_pDeadline.reset(new CNetDeadline(dwDeadlineMs));
    m_strJudgeUrl = pszJudgeUrl;
    m_dwEntryLimitMs = dwEntryLimitMs;
    m_nNext = 0;
    m_nDone = 0;
    m_nTotal = static_cast<int>(m_results.size());
    m_bFinished = false;
    m_bJudgeAnswered = false;
    if (nParallel < 1) nParallel = 1;
    try {
        m_thread = std::thread(Run, this, nParallel);
    } catch (...) {
        m_bFinished = true;
        return FALSE;
    }
    return TRUE;
}

void CProxyBatchTest::Cancel()
{
    if (m_pDeadline) m_pDeadline->Cancel();
}

BOOL CProxyBatchTest::Wait(DWORD dwMilliseconds)
{
    if (!m_thread.joinable()) return TRUE;
    for (DWORD dwWaited = 0; !m_bFinished; dwWaited += 10) {
        if (dwMilliseconds != 0xFFFFFFFF && dwWaited >= dwMilliseconds) return FALSE;
        Sleep(10);
    }
    m_thread.join();
    return TRUE;
}

void CProxyBatchTest::Run(CProxyBatchTest* pThis, int nParallel)
{
    if (AskJudgeDirect(pThis->m_strJudgeUrl, *pThis->m_pDeadline, pThis->m_baseline)) {
        pThis->m_bJudgeAnswered = true;
        std::vector<std::thread> workers;
        for (int i = 0; i < nParallel && i < pThis->m_nTotal; ++i) {
            try {
                workers.emplace_back(&CProxyBatchTest::Worker, pThis);
            } catch (...) {
                // Fewer workers only make the batch slower.
                break;
            }
        }
        if (workers.empty()) pThis->Worker();
        for (std::thread& worker : workers) worker.join();
    }
    pThis->m_bFinished = true;
}

void CProxyBatchTest::Worker()
{
    for (;;) {
        int nIndex = m_nNext++;
        if (nIndex >= m_nTotal || m_pDeadline->IsOver()) return;
        CProxyBatchResult& result = m_results[static_cast<size_t>(nIndex)];
        GradeProxy(result.strEntry, m_baseline, *m_pDeadline, m_dwEntryLimitMs, result.report);
        ++m_nDone;
    }
}
