// The thread seam: the two kinds of thread the program runs.
//
// Detached threads carry one connection each (its handler and its two
// relays); nobody waits for them. A proxy under load starts three of these per
// browser connection, so the POSIX half gives them a small stack: with the
// platform's default of several megabytes every thread start and end maps and
// unmaps its stack, which halved the proxy's rate of new connections in the
// benchmark. Windows reserves stacks lazily and keeps its default.
//
// Joinable threads are owned: the listener, the cleaner, a page request that
// the user may abandon. Their owner asks them to stop and waits for them; a
// thread that sleeps between units of work sleeps in WaitForStop, so a stop
// request ends its sleep at once instead of after the interval.
//
// Nothing here throws, and no thread is ever terminated from outside: a thread
// ends by returning from its proc.
#pragma once

#include "framework/core/types.h"

typedef unsigned int (*PFN_THREAD_PROC)(void* pParam);

// Runs pfnProc(pParam) on a new detached thread (Win32: _beginthreadex, handle
// closed at once; POSIX: small stack). FALSE when no thread could be made;
// pParam stays the caller's.
BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam);

// A thread that its owner starts, asks to stop and waits for. One start at a
// time; after Join the object can be started again with fresh state. The
// owner calls Start, RequestStop, Join, IsRunning and ExitCode from one thread
// (never from the thread itself); the thread calls StopRequested and
// WaitForStop.
class CJoinableThread {
public:
    CJoinableThread();
    ~CJoinableThread(); // RequestStop() then Join()
    CJoinableThread(const CJoinableThread&) = delete;
    CJoinableThread& operator=(const CJoinableThread&) = delete;

    // FALSE if a thread is running (not yet joined), if the object's own
    // resources could not be made, or if no thread could be made.
    BOOL Start(PFN_THREAD_PROC pfnProc, void* pParam);

    // Sets the stop flag and wakes WaitForStop at once.
    void RequestStop();

    // For the thread: poll between units of work.
    BOOL StopRequested() const;

    // For the thread: sleeps up to dwMilliseconds (0xFFFFFFFF: no limit).
    // TRUE at once when a stop is (or becomes) requested, FALSE when the time
    // ran out first.
    BOOL WaitForStop(DWORD dwMilliseconds);

    // Waits for the thread's end and releases it. Nothing happens when no
    // thread was started or it was joined already.
    void Join();

    // Started and not yet joined (the proc itself may have returned).
    BOOL IsRunning() const;

    // The proc's return value after Join; 0 before the first one.
    DWORD ExitCode() const;

private:
    struct CImpl;
    CImpl* m_pImpl; // NULL when it could not be made; Start then fails
};
