// Win32 half of the worker pool: threads from _beginthreadex with a small
// stack reservation, fed through an I/O completion port, which wakes exactly
// one waiting worker per unit of work; a worker ends after a while without
// work. Under Wine a thread start costs about a millisecond (against tens of
// microseconds natively), so a proxy that started threads per connection
// managed a few hundred new connections a second there.
#include "framework/core/thread_api.h"

#include <windows.h>

#include <process.h>
#include <tlhelp32.h>

#include <atomic>
#include <new>

namespace {

// Reserved, not committed. The deepest path (a connection's handler with
// its head buffer and a name lookup, then the relay with the filter; the
// relay's buffer is on the heap) ran filtered pages, name lookups and
// kept-alive connections natively on stacks of 16 KB; the system's own
// resolver and loader here are deeper and unmeasured, so this leaves a wide
// margin, and costs a connection only its reservation. Wine gives every
// thread at least 1 MB whatever is asked, and keeps another megabyte beside
// it, touching most of the stack as the thread starts: a thread there costs
// about 2 MB of address space and 1 MB of memory, which is what bounds the
// connections held (held_connections.h). The default of 2 MB would cost
// that much on Windows too.
const unsigned WORKER_STACK_RESERVE = 256 * 1024;

struct CWork {
    PFN_THREAD_PROC pfnProc;
    void* pParam;
};

// Waiting workers that no posted unit is meant for yet.
std::atomic<long> g_nUnclaimed{0};

HANDLE Port()
{
    // Made once; never closed, as workers may wait on it while the process
    // exits. A concurrency value far above any thread count: the workers
    // block in socket calls, and none may hold back another's wake-up.
    static HANDLE s_hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 0x7FFFFFFF);
    return s_hPort;
}

BOOL ClaimIdleWorker()
{
    long n = g_nUnclaimed.load();
    while (n > 0) {
        if (g_nUnclaimed.compare_exchange_weak(n, n - 1)) return TRUE;
    }
    return FALSE;
}

unsigned __stdcall WorkerEntry(void* pFirst)
{
    CWork work = *static_cast<CWork*>(pFirst);
    delete static_cast<CWork*>(pFirst);
    for (;;) {
        work.pfnProc(work.pParam);
        g_nUnclaimed.fetch_add(1);
        for (;;) {
            DWORD dwBytes = 0;
            ULONG_PTR key = 0;
            LPOVERLAPPED pOverlapped = nullptr;
            if (GetQueuedCompletionStatus(Port(), &dwBytes, &key, &pOverlapped, WORKER_IDLE_MS)) {
                work.pfnProc = reinterpret_cast<PFN_THREAD_PROC>(key);
                work.pParam = pOverlapped;
                break;
            }
            // Timed out: end, unless a unit was posted for this worker
            // meanwhile; then wait for it.
            if (ClaimIdleWorker()) return 0;
        }
    }
}

BOOL StartWorker(const CWork& work)
{
    CWork* pFirst = new (std::nothrow) CWork(work);
    if (!pFirst) return FALSE;
    uintptr_t hThread =
        _beginthreadex(nullptr, WORKER_STACK_RESERVE, WorkerEntry, pFirst, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (hThread == 0) {
        delete pFirst;
        return FALSE;
    }
    CloseHandle(reinterpret_cast<HANDLE>(hThread));
    return TRUE;
}

} // namespace

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    if (Port() && ClaimIdleWorker()) {
        if (PostQueuedCompletionStatus(Port(), 0, reinterpret_cast<ULONG_PTR>(pfnProc),
                                       static_cast<LPOVERLAPPED>(pParam)))
            return TRUE;
        g_nUnclaimed.fetch_add(1);
    }
    return StartWorker(CWork{pfnProc, pParam});
}

long CountProcessThreads()
{
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnap == INVALID_HANDLE_VALUE) return -1;
    const DWORD dwSelf = GetCurrentProcessId();
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    long n = 0;
    for (BOOL bMore = Thread32First(hSnap, &entry); bMore; bMore = Thread32Next(hSnap, &entry)) {
        if (entry.th32OwnerProcessID == dwSelf) ++n;
    }
    CloseHandle(hSnap);
    return n;
}
