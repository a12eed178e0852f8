// Win32 half of the thread seam: the C runtime's _beginthreadex, with the
// handle closed at once. Not a detached std::thread: the POSIX-threads layer
// of this toolchain frees a detached thread's record in a race with the
// thread's own exit, and under a steady churn of short connections that
// corrupted the heap (seen as crashes inside its mutex and rwlock code).
#include "proxy/thread_api.h"

#include <windows.h>

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

} // namespace

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    CThreadStart* pStart = new CThreadStart{pfnProc, pParam};
    uintptr_t hThread = _beginthreadex(nullptr, 0, ThreadEntry, pStart, 0, nullptr);
    if (hThread == 0) {
        delete pStart;
        return FALSE;
    }
    CloseHandle(reinterpret_cast<HANDLE>(hThread));
    return TRUE;
}
