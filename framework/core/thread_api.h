// The thread seam: the two kinds of thread the program runs.
//
// Detached threads carry one connection each; nobody waits for them. They
// come from a pool: a thread that has finished its work waits a while for
// the next, so a proxy under load starts no thread per connection (a thread
// start costs about a millisecond under Wine, where the program runs). Their
// stacks are small (a reservation on Windows): with the default of several
// megabytes a 32-bit process ran out of address space at about 300
// connections, and natively every start mapped and unmapped that much.
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

// Runs pfnProc(pParam) on a detached thread: an idle one of the pool when
// there is one, a new one otherwise, so the work never waits for a busy
// thread. FALSE when no thread could be made; pParam stays the caller's.
BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam);

// How long an idle pool thread waits for work before it ends.
const DWORD WORKER_IDLE_MS = 3000;

// Threads of this process right now (all of them, not only the pool's);
// -1 when the system cannot tell. For the checks that connections give
// their threads back.
long CountProcessThreads();

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
