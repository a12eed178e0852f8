// POSIX half of the thread seam: detached pthreads with a small stack, and
// joinable threads from std::thread with a condition variable for the stop.
#include "framework/core/thread_api.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Room for the handler's buffers and the resolver; the relay buffers and the
// filtered text live on the heap. Sanitizers need more for their bookkeeping.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const size_t DETACHED_THREAD_STACK = 2 * 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const size_t DETACHED_THREAD_STACK = 2 * 1024 * 1024;
#else
const size_t DETACHED_THREAD_STACK = 256 * 1024;
#endif
#else
const size_t DETACHED_THREAD_STACK = 256 * 1024;
#endif

const DWORD WAIT_WITHOUT_LIMIT = 0xFFFFFFFF;

struct CThreadStart {
    PFN_THREAD_PROC pfnProc;
    void* pParam;
};

void* ThreadEntry(void* pArg)
{
    CThreadStart start = *static_cast<CThreadStart*>(pArg);
    delete static_cast<CThreadStart*>(pArg);
    start.pfnProc(start.pParam);
    return nullptr;
}

} // namespace

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return FALSE;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, DETACHED_THREAD_STACK);
    CThreadStart* pStart = new (std::nothrow) CThreadStart{pfnProc, pParam};
    int rc = -1;
    pthread_t thread;
    if (pStart) rc = pthread_create(&thread, &attr, ThreadEntry, pStart);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete pStart;
        return FALSE;
    }
    return TRUE;
}

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
