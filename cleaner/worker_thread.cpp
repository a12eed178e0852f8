// CWorkerThread over the joinable thread of the thread layer.
#include "worker_thread.h"

#include <windows.h>

CWorkerThread::CWorkerThread()
    : m_dwThreadId(0), m_pRunParam(nullptr), m_dwExitCode(EXIT_CODE_NONE), m_pfnStartRoutine(ThreadEntry)
{
}

CWorkerThread::~CWorkerThread()
{
    Stop();
}

BOOL CWorkerThread::Start()
{
    // A second start must not orphan the first thread: it could still be
    // running a job with what it was given last time.
    Stop();
    m_pRunParam = nullptr;
    m_dwExitCode = EXIT_CODE_NONE;
    return m_thread.Start(m_pfnStartRoutine, this);
}

void CWorkerThread::Stop()
{
    if (!m_thread.IsRunning()) return;
    m_thread.RequestStop();
    m_thread.Join();
    m_dwExitCode = m_thread.ExitCode();
    m_dwThreadId = 0;
}

DWORD CWorkerThread::Run(void* pParam)
{
    return m_dwExitCode;
}

unsigned int CWorkerThread::ThreadEntry(void* pParam)
{
    CWorkerThread* pThread = static_cast<CWorkerThread*>(pParam);
    pThread->m_dwThreadId = GetCurrentThreadId();
    pThread->OnThreadStart();
    DWORD dwExitCode = pThread->Run(pThread->m_pRunParam);
    pThread->OnThreadEnd();
    return dwExitCode;
}
