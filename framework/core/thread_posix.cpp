// POSIX half of the thread seam: joinable threads from std::thread with a
// condition variable for the stop. Detached threads come from the worker pool
// (worker_pool_posix.cpp).
#include "framework/core/thread_api.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

const DWORD WAIT_WITHOUT_LIMIT = 0xFFFFFFFF;

} // namespace

struct CJoinableThread::CImpl {
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable cvStop;
    bool bStop = false;   // guarded by mutex
    DWORD dwExitCode = 0; // written by the thread, read after the join
};

CJoinableThread::CJoinableThread() : m_pImpl(new (std::nothrow) CImpl)
{
}

CJoinableThread::~CJoinableThread()
{
    RequestStop();
    Join();
    delete m_pImpl;
}

BOOL CJoinableThread::Start(PFN_THREAD_PROC pfnProc, void* pParam)
{
    if (!m_pImpl || m_pImpl->thread.joinable()) return FALSE;
    {
        // A stop asked for the previous run must not end this one.
        std::lock_guard<std::mutex> lock(m_pImpl->mutex);
        m_pImpl->bStop = false;
    }
    CImpl* pImpl = m_pImpl;
    try {
        pImpl->thread = std::thread([pImpl, pfnProc, pParam] { pImpl->dwExitCode = pfnProc(pParam); });
    } catch (const std::system_error&) {
        return FALSE;
    }
    return TRUE;
}

void CJoinableThread::RequestStop()
{
    if (!m_pImpl) return;
    {
        std::lock_guard<std::mutex> lock(m_pImpl->mutex);
        m_pImpl->bStop = true;
    }
    m_pImpl->cvStop.notify_all();
}

BOOL CJoinableThread::StopRequested() const
{
    if (!m_pImpl) return FALSE;
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->bStop ? TRUE : FALSE;
}

BOOL CJoinableThread::WaitForStop(DWORD dwMilliseconds)
{
    if (!m_pImpl) return TRUE;
    std::unique_lock<std::mutex> lock(m_pImpl->mutex);
    if (dwMilliseconds == WAIT_WITHOUT_LIMIT) {
        m_pImpl->cvStop.wait(lock, [this] { return m_pImpl->bStop; });
        return TRUE;
    }
    return m_pImpl->cvStop.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), [this] { return m_pImpl->bStop; })
               ? TRUE
               : FALSE;
}

void CJoinableThread::Join()
{
    if (!m_pImpl || !m_pImpl->thread.joinable()) return;
    m_pImpl->thread.join();
}

BOOL CJoinableThread::IsRunning() const
{
    return m_pImpl && m_pImpl->thread.joinable();
}

DWORD CJoinableThread::ExitCode() const
{
    return m_pImpl ? m_pImpl->dwExitCode : 0;
}
