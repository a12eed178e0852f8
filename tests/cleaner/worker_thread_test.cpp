// CWorkerThread: the order of the thread's hooks, the exit code's life, and
// a second Start that waits for the first thread instead of orphaning it.
#include "cleaner/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

// Records what the thread did; Run waits for a stop when asked to.
class CRecordingThread : public CWorkerThread {
public:
    ~CRecordingThread() override { Stop(); }

    std::string m_strTrace; // written by the thread only
    std::atomic<int> m_nRuns{0};
    void* m_pSeenParam = reinterpret_cast<void*>(1);
    BOOL m_bWaitForStop = FALSE; // set before Start
    DWORD m_dwResult = 7;

protected:
    void OnThreadStart() override { m_strTrace += "start;"; }
    DWORD Run(void* pParam) override
    {
        m_pSeenParam = pParam;
        m_strTrace += "run;";
        ++m_nRuns;
        if (m_bWaitForStop) WaitForStop(0xFFFFFFFF);
        return m_dwResult;
    }
    void OnThreadEnd() override { m_strTrace += "end;"; }
};

TEST(WorkerThreadTest, HooksRunInOrderAndTheExitCodeArrivesWithStop)
{
    CRecordingThread thread;
    thread.m_bWaitForStop = TRUE;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_EQ(DWORD(CWorkerThread::EXIT_CODE_NONE), thread.GetExitCode());
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ("start;run;end;", thread.m_strTrace);
    EXPECT_EQ(nullptr, thread.m_pSeenParam);
    EXPECT_EQ(7u, thread.GetExitCode());

    // Stopping a stopped thread changes nothing.
    thread.Stop();
    EXPECT_EQ(7u, thread.GetExitCode());
}

TEST(WorkerThreadTest, SecondStartEndsTheFirstThreadBeforeItBegins)
{
    CRecordingThread thread;
    thread.m_bWaitForStop = TRUE;
    ASSERT_TRUE(thread.Start());
    // The first thread only ends when asked: a Start that did not stop it
    // would leave two threads on one object.
    ASSERT_TRUE(thread.Start());
    thread.Stop();
    EXPECT_EQ(2, thread.m_nRuns.load());
    EXPECT_EQ("start;run;end;start;run;end;", thread.m_strTrace);
}

} // namespace
