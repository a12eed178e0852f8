// The worker pool behind detached threads: a finished worker takes the next
// unit instead of a new thread starting, work never waits for a busy worker,
// and idle workers end, giving every thread back.
#include "framework/core/thread_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits (bounded) for a condition; returns whether it came true.
template <typename Condition>
bool WaitFor(Condition condition, int nMaxMs)
{
    for (int waited = 0; waited < nMaxMs; waited += 5) {
        if (condition()) return true;
        SleepMs(5);
    }
    return condition();
}

struct CBlockingUnit {
    std::atomic<int> nStarted{0};
    std::atomic<int> nRelease{0};
    std::atomic<int> nFinished{0};
};

unsigned int BlockUntilReleased(void* pParam)
{
    CBlockingUnit* pUnit = static_cast<CBlockingUnit*>(pParam);
    pUnit->nStarted.fetch_add(1);
    while (!pUnit->nRelease.load()) SleepMs(1);
    pUnit->nFinished.fetch_add(1);
    return 0;
}

} // namespace

TEST(WorkerPoolTest, WorkersAreReusedNeverWaitedForAndEndWhenIdle)
{
    // Earlier work of this process may still have idle workers: let them end.
    SleepMs(static_cast<int>(WORKER_IDLE_MS) + 500);
    const long nBaseline = CountProcessThreads();
    ASSERT_GT(nBaseline, 0);

    // Ten units that all block at once: each needs a worker of its own,
    // so none waits for a busy one.
    const int nUnits = 10;
    CBlockingUnit first;
    for (int i = 0; i < nUnits; ++i) ASSERT_TRUE(StartDetachedThread(BlockUntilReleased, &first));
    ASSERT_TRUE(WaitFor([&] { return first.nStarted.load() == nUnits; }, 10000));
    EXPECT_EQ(CountProcessThreads(), nBaseline + nUnits);
    first.nRelease.store(1);
    ASSERT_TRUE(WaitFor([&] { return first.nFinished.load() == nUnits; }, 10000));
    // A worker counts as idle a moment after its unit returns.
    SleepMs(200);

    // The next ten run on the idle ones: no thread is started for them.
    CBlockingUnit second;
    for (int i = 0; i < nUnits; ++i) ASSERT_TRUE(StartDetachedThread(BlockUntilReleased, &second));
    ASSERT_TRUE(WaitFor([&] { return second.nStarted.load() == nUnits; }, 10000));
    EXPECT_EQ(CountProcessThreads(), nBaseline + nUnits);
    second.nRelease.store(1);
    ASSERT_TRUE(WaitFor([&] { return second.nFinished.load() == nUnits; }, 10000));

    // Without work they end.
    EXPECT_TRUE(WaitFor([&] { return CountProcessThreads() == nBaseline; }, static_cast<int>(WORKER_IDLE_MS) + 5000))
        << CountProcessThreads() << " threads, " << nBaseline << " before";
}
