// "Test all": every entry of a list graded against the judge, hundreds at
// once, on one thread of the batch's own that waits on all their sockets
// and a waker in one call, under one deadline and one cancel. The owner
// (the dialog) starts it, reads the progress from its own thread (a
// timer), and takes the results once it has finished.
#pragma once

#include "framework/core/string_list.h"
#include "judge_client.h"
#include "net_deadline.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

struct CProxyBatchResult {
    CString strEntry;
    CProxyGradeReport report;
};

class CProxyBatchTest {
public:
    // Entries tested side by side. Published lists are mostly dead or
    // silent: with one thread for all of them, thousands cost little more
    // than a few, and each silent one holds only its socket.
    static const int kDefaultParallel = 2500;
    // Each step of one entry (its name lookup and connect, then the judge's
    // answer once it was asked) gets this long, so that silent proxies
    // cannot take the whole batch; waiting for a judge's turn is not counted.
    static const DWORD kDefaultStepLimitMs = 5000;
    // Judges are other people's servers: no judge host gets more requests
    // than this in any second from one batch, however many proxies answer.
    static const int kDefaultJudgeRequestsPerSecond = 50;

    CProxyBatchTest() = default;
    // Cancels and waits for the batch's thread.
    ~CProxyBatchTest();
    CProxyBatchTest(const CProxyBatchTest&) = delete;
    CProxyBatchTest& operator=(const CProxyBatchTest&) = delete;

    // Starts testing every entry against the judges of pszJudgeUrl (each
    // proxy that answers asks the judge whose turn is free, see
    // judge_pacer.h), in the order given (the owner puts the likeliest
    // first), ending by dwDeadlineMs from now at the latest; each step of an
    // entry gets dwStepLimitMs at most (and a proxy that works, its tunnel to the
    // list's https:// judge as well). When it has finished, hWndNotify
    // (when given) is posted nMsg. FALSE when a batch is already running
    // (not yet Wait-ed for) or no thread could be made. Empty entries are
    // skipped.
    BOOL Start(const CStringList& entries, LPCTSTR pszJudgeUrl, DWORD dwDeadlineMs, int nParallel = kDefaultParallel,
               DWORD dwStepLimitMs = kDefaultStepLimitMs, HWND hWndNotify = nullptr, UINT nMsg = 0);
    // Before Start: another limit of requests a second to one judge host.
    void SetJudgeRequestsPerSecond(int nPerSecond) { m_nJudgePerSecond = nPerSecond; }

    // Any thread; the batch's wait ends at once. Done counts the entries
    // finished, graded or not (an entry the deadline or a cancel cut short
    // stays untested); it reaches Total unless the batch ran out.
    void Cancel();
    int Done() const { return m_nDone; }
    int Total() const { return m_nTotal; }
    BOOL IsFinished() const { return m_bFinished ? TRUE : FALSE; }
    // FALSE when the judge list names no http:// judge: nothing was graded.
    BOOL HasJudge() const { return m_bHasJudge ? TRUE : FALSE; }

    // The owner's thread: waits for the end and joins the thread; after
    // it, the results can be read. TRUE when the batch had finished.
    BOOL Wait(DWORD dwMilliseconds = 0xFFFFFFFF);

    // One per entry, in the order given; entries the batch did not reach
    // in time stay untested. Once IsFinished (the thread may still be
    // closing its sockets: the owner need not Wait, only let the batch go
    // on a thread that may wait, as at Exit).
    const std::vector<CProxyBatchResult>& Results() const { return m_results; }

private:
    static void Run(CProxyBatchTest* pThis, int nParallel);
    void TestAll(int nParallel, const std::vector<CJudgeTarget>& judges);
    // The results are in: says so, once.
    void MarkFinished();

    std::unique_ptr<CNetDeadline> m_pDeadline;
    CString m_strJudgeUrl;
    DWORD m_dwStepLimitMs = kDefaultStepLimitMs;
    int m_nJudgePerSecond = kDefaultJudgeRequestsPerSecond;
    std::vector<CProxyBatchResult> m_results;
    std::atomic<int> m_nDone{0};
    std::atomic<int> m_nTotal{0};
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bHasJudge{false};
    // The waker the batch's wait includes; 0 while there is none.
    std::atomic<WORD> m_nWakePort{0};
    HWND m_hWndNotify = nullptr;
    UINT m_nNotifyMsg = 0;
    std::thread m_thread;
};
