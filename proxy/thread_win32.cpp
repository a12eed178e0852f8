// Win32 half of the thread seam: detached C++ threads with the default stack.
#include "proxy/thread_api.h"

#include <system_error>
#include <thread>

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    try {
        std::thread(pfnProc, pParam).detach();
        return TRUE;
    } catch (const std::system_error&) {
        return FALSE;
    }
}
