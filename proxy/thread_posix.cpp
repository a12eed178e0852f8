// POSIX half of the thread seam: detached pthreads with a small stack.
#include "proxy/thread_api.h"

#include <pthread.h>

namespace {

// Room for the handler's buffers and the resolver; the relay buffers and the
// filtered text live on the heap. Sanitizers need more for their bookkeeping.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const size_t PROXY_THREAD_STACK = 2 * 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const size_t PROXY_THREAD_STACK = 2 * 1024 * 1024;
#else
const size_t PROXY_THREAD_STACK = 256 * 1024;
#endif
#else
const size_t PROXY_THREAD_STACK = 256 * 1024;
#endif

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

}  // namespace

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return FALSE;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, PROXY_THREAD_STACK);
    CThreadStart* pStart = new CThreadStart{pfnProc, pParam};
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, ThreadEntry, pStart);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete pStart;
        return FALSE;
    }
    return TRUE;
}
