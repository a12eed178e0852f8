#include "proxylist/proxy_results_writer.h"

CProxyResultsWriter::~CProxyResultsWriter()
{
    Flush();
}

void CProxyResultsWriter::Save(const CProxyResults& results, LPCTSTR pszPath)
{
    std::unique_ptr<CPending> pCopy(new CPending{results, pszPath});
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pPending = std::move(pCopy);
        // A thread still writing takes this copy after its own.
        if (m_bWriting) return;
        m_bWriting = TRUE;
    }
    // The thread before has found nothing more to write and is ending.
    m_thread.Join();
    if (m_thread.Start(Run, this)) return;
    Run(this);
}

void CProxyResultsWriter::Flush()
{
    // Save never starts a thread without a copy waiting for it, and the
    // thread ends only once none is: after the join, all are written.
    m_thread.Join();
}

BOOL CProxyResultsWriter::LastSaveSucceeded() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bLastOk;
}

unsigned int CProxyResultsWriter::Run(void* pParam)
{
    CProxyResultsWriter* pThis = static_cast<CProxyResultsWriter*>(pParam);
    for (;;) {
        std::unique_ptr<CPending> pNext;
        {
            std::lock_guard<std::mutex> guard(pThis->m_lock);
            pNext = std::move(pThis->m_pPending);
            if (!pNext) {
                pThis->m_bWriting = FALSE;
                return 0;
            }
        }
        BOOL bOk = pNext->results.Save(pNext->strPath);
        std::lock_guard<std::mutex> guard(pThis->m_lock);
        pThis->m_bLastOk = bOk;
    }
}
