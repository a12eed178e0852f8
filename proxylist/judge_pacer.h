// Turns at the judges for a batch that asks hundreds of proxies at once.
// Judges are other people's servers, mostly free ones: every judge of the
// list takes its share, and no judge host gets more than a set number of
// requests in any window of a second (a little more, see the window), however
// many proxies answer at the same moment. Pure bookkeeping on the caller's
// clock, so it can be checked against a table of times.
#pragma once

#include "framework/core/cstring.h"

#include <deque>
#include <vector>

class CJudgePacer {
public:
    // One judge per entry of hosts, in the order given; judges on the same
    // host share its turns. At most nPerWindow requests to one host in any
    // nWindowMs. Times are counted in whole milliseconds: the same sum
    // compared twice must give the same answer, which doubles on the x87
    // do not promise, and a turn named by NextTurnMs must be free then.
    CJudgePacer(const std::vector<CString>& hosts, int nPerWindow, int nWindowMs);

    int JudgeCount() const { return static_cast<int>(m_hostOf.size()); }

    // The judge to ask at dNowMs, its turn taken: of the judges whose host
    // has a turn free, the one asked least so far (the first of those on a
    // tie). -1 when no host has a turn free.
    int Take(double dNowMs);

    // When Take will next give a judge: dNowMs when one is free already,
    // else the moment the first host's oldest request leaves its window.
    double NextTurnMs(double dNowMs) const;

    // A host asked outside the list's turn-taking (the https:// judge's,
    // through the tunnels): the same turns as a judge of that name. Its
    // index for TakeHost and NextHostTurnMs.
    int AddHost(const CString& strHost);
    // A turn of that host at dNowMs: TRUE, and taken, when one is free.
    BOOL TakeHost(int nHost, double dNowMs);
    // When TakeHost will next give that host a turn.
    double NextHostTurnMs(int nHost, double dNowMs) const;

private:
    // The host's requests of the last window, oldest first.
    struct CHostTurns {
        CString strHost;
        std::deque<long long> sent;
    };
    BOOL IsFree(const CHostTurns& host, long long nNowMs) const;
    void Send(CHostTurns& host, double dNowMs);

    std::vector<int> m_hostOf; // judge -> index into m_hosts
    std::vector<long> m_asked; // per judge
    std::vector<CHostTurns> m_hosts;
    size_t m_nJudgeHosts = 0; // the first of m_hosts: those of the judges
    int m_nPerWindow;
    long long m_nWindowMs;
};
