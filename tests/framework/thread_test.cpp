// The thread seam: a detached start runs its proc; a joinable thread stops
// when asked, even in the middle of a long wait, and starts again afresh.
#include "framework/core/thread_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct CDetachedRun {
    std::mutex mutex;
    std::condition_variable cvDone;
    int nSeen = 0;
};

unsigned int RecordDetachedRun(void* pParam)
{
    CDetachedRun* pRun = static_cast<CDetachedRun*>(pParam);
    std::lock_guard<std::mutex> lock(pRun->mutex);
    ++pRun->nSeen;
    pRun->cvDone.notify_all();
    return 0;
}

// Sleeps far longer than any test runs, so only the stop request can end it.
struct CSleeper {
    explicit CSleeper(CJoinableThread& thread) : pThread(&thread) {}
    CJoinableThread* pThread;
    std::atomic<int> nWakeResult{-1};
    std::atomic<int> nStopSeenAtStart{-1};
};

unsigned int SleepUntilStopped(void* pParam)
{
    CSleeper* pSleeper = static_cast<CSleeper*>(pParam);
    pSleeper->nStopSeenAtStart.store(pSleeper->pThread->StopRequested());
    pSleeper->nWakeResult.store(pSleeper->pThread->WaitForStop(10 * 60 * 1000));
    return 42;
}

unsigned int ReturnParam(void* pParam)
{
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(pParam));
}

} // namespace

TEST(ThreadTest, DetachedThreadsRunTheirProcWithTheirParam)
{
    CDetachedRun run;
    const int nThreads = 20;
    for (int i = 0; i < nThreads; i++) ASSERT_TRUE(StartDetachedThread(RecordDetachedRun, &run));
    std::unique_lock<std::mutex> lock(run.mutex);
    run.cvDone.wait(lock, [&] { return run.nSeen == nThreads; });
    EXPECT_EQ(run.nSeen, nThreads);
}

TEST(ThreadTest, AStopRequestEndsALongWaitAndJoinGivesTheExitCode)
{
    CJoinableThread thread;
    CSleeper sleeper(thread);
    ASSERT_TRUE(thread.Start(SleepUntilStopped, &sleeper));
    EXPECT_TRUE(thread.IsRunning());
    // A second start while the first has not been joined is refused.
    EXPECT_FALSE(thread.Start(ReturnParam, nullptr));

    thread.RequestStop();
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(sleeper.nWakeResult.load(), TRUE);
    EXPECT_EQ(thread.ExitCode(), 42u);
}

TEST(ThreadTest, AWaitWithoutAStopRequestTimesOut)
{
    CJoinableThread thread;
    struct CWaitOnce {
        CJoinableThread* pThread;
        std::atomic<int> nResult{-1};
    } wait{&thread};
    ASSERT_TRUE(thread.Start(
        [](void* pParam) -> unsigned int {
            CWaitOnce* pWait = static_cast<CWaitOnce*>(pParam);
            pWait->nResult.store(pWait->pThread->WaitForStop(20));
            return 0;
        },
        &wait));
    thread.Join();
    EXPECT_EQ(wait.nResult.load(), FALSE);
}

TEST(ThreadTest, AfterJoinTheThreadStartsAgainWithNoStopPending)
{
    CJoinableThread thread;
    CSleeper first(thread);
    ASSERT_TRUE(thread.Start(SleepUntilStopped, &first));
    thread.RequestStop();
    thread.Join();

    ASSERT_TRUE(thread.Start(ReturnParam, reinterpret_cast<void*>(std::uintptr_t(7))));
    thread.Join();
    EXPECT_EQ(thread.ExitCode(), 7u);

    // The stop of the first run does not carry over into a later one.
    CSleeper third(thread);
    ASSERT_TRUE(thread.Start(SleepUntilStopped, &third));
    while (third.nStopSeenAtStart.load() < 0) std::this_thread::yield();
    EXPECT_EQ(third.nStopSeenAtStart.load(), FALSE);
    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(third.nWakeResult.load(), TRUE);
}

TEST(ThreadTest, DestroyingARunningThreadStopsAndJoinsIt)
{
    std::unique_ptr<CJoinableThread> pThread(new CJoinableThread);
    CSleeper sleeper(*pThread);
    ASSERT_TRUE(pThread->Start(SleepUntilStopped, &sleeper));
    pThread.reset();
    EXPECT_EQ(sleeper.nWakeResult.load(), TRUE);
}
