// Win32 half of the thread seam: the C runtime's _beginthreadex, a
// manual-reset event for the stop request. Not std::thread for detached
// threads: the POSIX-threads layer of this toolchain frees a detached
// thread's record in a race with the thread's own exit, and under a steady
// churn of short connections that corrupted the heap (seen as crashes inside
// its mutex and rwlock code). The worker pool (worker_pool_win32.cpp) starts
// its detached threads with the same call.
#include "framework/core/thread_api.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <process.h>

namespace {

struct CThreadStart {
    PFN_THREAD_PROC pfnProc;
    void* pParam;
};

unsigned __stdcall ThreadEntry(void* pStart)
{
    CThreadStart start = *static_cast<CThreadStart*>(pStart);
    delete static_cast<CThreadStart*>(pStart);
    return start.pfnProc(start.pParam);
}

// NULL when no thread could be made; the start record is then freed here.
HANDLE BeginThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    CThreadStart* pStart = new (std::nothrow) CThreadStart{pfnProc, pParam};
    if (!pStart) return NULL;
    uintptr_t hThread = _beginthreadex(nullptr, 0, ThreadEntry, pStart, 0, nullptr);
    if (hThread == 0) {
        delete pStart;
        return NULL;
    }
    return reinterpret_cast<HANDLE>(hThread);
}

} // namespace

struct CJoinableThread::CImpl {
    HANDLE hStop = NULL; // manual-reset: stays set until the next Start
    // The same request, for StopRequested: the listener asks it twice per
    // accepted connection, and under Wine a zero wait on the event is a
    // round trip to the wineserver each time, on the one thread that
    // accepts every connection.
    std::atomic<bool> bStopRequested{false};
    HANDLE hThread = NULL; // NULL when none is running
    DWORD dwExitCode = 0;
};

CJoinableThread::CJoinableThread() : m_pImpl(new (std::nothrow) CImpl)
{
    if (!m_pImpl) return;
    m_pImpl->hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_pImpl->hStop) {
        delete m_pImpl;
        m_pImpl = nullptr;
    }
}

CJoinableThread::~CJoinableThread()
{
    RequestStop();
    Join();
    if (m_pImpl) {
        CloseHandle(m_pImpl->hStop);
        delete m_pImpl;
    }
}

BOOL CJoinableThread::Start(PFN_THREAD_PROC pfnProc, void* pParam)
{
    if (!m_pImpl || m_pImpl->hThread) return FALSE;
    // A stop asked for the previous run must not end this one.
    ResetEvent(m_pImpl->hStop);
    m_pImpl->bStopRequested.store(false);
    m_pImpl->hThread = BeginThread(pfnProc, pParam);
    return m_pImpl->hThread != NULL;
}

void CJoinableThread::RequestStop()
{
    if (!m_pImpl) return;
    m_pImpl->bStopRequested.store(true);
    SetEvent(m_pImpl->hStop);
}

BOOL CJoinableThread::StopRequested() const
{
    return m_pImpl && m_pImpl->bStopRequested.load();
}

BOOL CJoinableThread::WaitForStop(DWORD dwMilliseconds)
{
    if (!m_pImpl) return TRUE;
    return WaitForSingleObject(m_pImpl->hStop, dwMilliseconds) == WAIT_OBJECT_0;
}

void CJoinableThread::Join()
{
    if (!m_pImpl || !m_pImpl->hThread) return;
    WaitForSingleObject(m_pImpl->hThread, INFINITE);
    DWORD dwExitCode = 0;
    if (GetExitCodeThread(m_pImpl->hThread, &dwExitCode)) m_pImpl->dwExitCode = dwExitCode;
    CloseHandle(m_pImpl->hThread);
    m_pImpl->hThread = NULL;
}

BOOL CJoinableThread::IsRunning() const
{
    return m_pImpl && m_pImpl->hThread != NULL;
}

DWORD CJoinableThread::ExitCode() const
{
    return m_pImpl ? m_pImpl->dwExitCode : 0;
}
