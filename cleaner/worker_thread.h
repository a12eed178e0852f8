// CWorkerThread: a thread its owner starts, asks to stop and waits for. A
// subclass puts its work in Run and, for long work, asks StopRequested
// between units of it or sleeps in WaitForStop; Stop never cuts a thread
// off in the middle (no enumeration handle, COM object or process lock is
// left behind), and returns only once the thread has ended.
//
// Each subclass's destructor must call Stop itself: by the time this base
// destructor runs, the subclass's Run can no longer be executed safely.
#pragma once

#include "framework/core/thread_api.h"
#include "stop_check.h"

#include <atomic>

class CWorkerThread : public CStopCheck {
public:
    enum : DWORD { EXIT_CODE_NONE = 0xFFFFFFFF };

    CWorkerThread();
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread, stopping (and waiting for) one still running
    // first. FALSE when no thread could be made; nothing is shown.
    BOOL Start();
    // Asks the thread to stop, waits for its end and keeps its exit code.
    // Nothing when none runs.
    void Stop();
    BOOL IsRunning() const { return m_thread.IsRunning(); }
    // EXIT_CODE_NONE from a start until the Stop that collects the code.
    DWORD GetExitCode() const { return m_dwExitCode; }
    // The running thread's id, 0 before it has begun or once stopped.
    DWORD GetThreadId() const { return m_dwThreadId; }

    // For the thread: has a stop been asked for?
    BOOL StopRequested() const override { return m_thread.StopRequested(); }

protected:
    // The thread's work; its result is the exit code. The base returns the
    // exit-code field.
    virtual DWORD Run(void* pParam);
    virtual void OnThreadStart() {}
    virtual void OnThreadEnd() {}

    // For the thread: sleeps up to dwMilliseconds; TRUE as soon as a stop is
    // (or becomes) requested.
    BOOL WaitForStop(DWORD dwMilliseconds) { return m_thread.WaitForStop(dwMilliseconds); }

    static unsigned int ThreadEntry(void* pParam);

private:
    CJoinableThread m_thread;
    std::atomic<DWORD> m_dwThreadId;
    void* m_pRunParam;
    DWORD m_dwExitCode;
    PFN_THREAD_PROC m_pfnStartRoutine;
};
