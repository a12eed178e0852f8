// POSIX half of the worker pool: threads with a small stack that take the
// next unit of work from a queue when they finish one, and end after a
// while without work.
#include "framework/core/thread_api.h"

#include <dirent.h>
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>

namespace {

// Room for the handler's buffers and the resolver; the relay buffers and the
// filtered text live on the heap. Sanitizers need more for their bookkeeping.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const size_t WORKER_STACK = 2 * 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const size_t WORKER_STACK = 2 * 1024 * 1024;
#else
const size_t WORKER_STACK = 256 * 1024;
#endif
#else
const size_t WORKER_STACK = 256 * 1024;
#endif

struct CWork {
    PFN_THREAD_PROC pfnProc;
    void* pParam;
};

// Never destroyed: workers may still be finishing while the process exits.
class CWorkerPool {
public:
    BOOL Run(const CWork& work)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // Only as many queued units as there are idle workers to take
            // them: a unit never waits for a busy one.
            if (m_nIdle > m_queue.size()) {
                m_queue.push_back(work);
                m_cvWork.notify_one();
                return TRUE;
            }
        }
        return StartWorker(work);
    }

private:
    static void* WorkerEntry(void* pArg);

    BOOL StartWorker(const CWork& work)
    {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) return FALSE;
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_attr_setstacksize(&attr, WORKER_STACK);
        CWork* pFirst = new (std::nothrow) CWork(work);
        int rc = -1;
        pthread_t thread;
        if (pFirst) rc = pthread_create(&thread, &attr, WorkerEntry, pFirst);
        pthread_attr_destroy(&attr);
        if (rc != 0) {
            delete pFirst;
            return FALSE;
        }
        return TRUE;
    }

    void WorkerLoop(CWork work)
    {
        for (;;) {
            work.pfnProc(work.pParam);
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_nIdle;
            bool bGot =
                m_cvWork.wait_for(lock, std::chrono::milliseconds(WORKER_IDLE_MS), [this] { return !m_queue.empty(); });
            --m_nIdle;
            if (!bGot) return;
            work = m_queue.front();
            m_queue.pop_front();
        }
    }

    std::mutex m_mutex; // guards the queue and the idle count
    std::deque<CWork> m_queue;
    size_t m_nIdle = 0;
    std::condition_variable m_cvWork;
};

CWorkerPool& Pool()
{
    static CWorkerPool* s_pPool = new CWorkerPool;
    return *s_pPool;
}

void* CWorkerPool::WorkerEntry(void* pArg)
{
    CWork first = *static_cast<CWork*>(pArg);
    delete static_cast<CWork*>(pArg);
    Pool().WorkerLoop(first);
    return nullptr;
}

} // namespace

BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam)
{
    return Pool().Run(CWork{pfnProc, pParam});
}

long CountProcessThreads()
{
    DIR* pDir = opendir("/proc/self/task");
    if (!pDir) return -1;
    long n = 0;
    while (dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.') ++n;
    }
    closedir(pDir);
    return n;
}
