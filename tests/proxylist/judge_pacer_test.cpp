// The judges' turns: a table of requests asked for at given times and the
// judge each got, then a long burst of demand against two hosts checked
// window by window with a counter of its own.
#include "proxylist/judge_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// The most requests of one host inside any window [t, t + dWindowMs).
int MostInAnyWindow(std::vector<double> times, double dWindowMs)
{
    std::sort(times.begin(), times.end());
    int nMost = 0;
    for (size_t i = 0, j = 0; i < times.size(); ++i) {
        while (j < times.size() && times[j] < times[i] + dWindowMs) ++j;
        nMost = std::max(nMost, static_cast<int>(j - i));
    }
    return nMost;
}

TEST(JudgePacer, TurnsGoToTheLeastAskedJudgeWithAFreeHostAndJudgesOfOneHostShareIt)
{
    // "a" and "A" are one host; two turns per second each host.
    CJudgePacer pacer({"a", "b", "A"}, 2, 1000);
    struct {
        double dNowMs;
        int nJudge; // -1: nobody's turn
    } const table[] = {
        {0, 0},     // all unasked: the first
        {0, 1},     //
        {0, 2},     // host a's second turn, through its other judge
        {10, 1},    // host a is full: b, though b was asked more
        {20, -1},   // both full
        {999, -1},  // a's first turn is not yet a window old
        {1000, 0},  // it is now; 0 and 2 were asked once, 0 comes first
        {1000, 2},  // a's second request of the first moment left as well
        {1005, 1},  // b's first left at 1000
        {1008, -1}, //
        {1010, 1},  // b's second left
        {1500, -1}, //
    };
    for (const auto& row : table) EXPECT_EQ(pacer.Take(row.dNowMs), row.nJudge) << "at " << row.dNowMs;
    EXPECT_EQ(pacer.NextTurnMs(1500), 2000);
    EXPECT_EQ(pacer.NextTurnMs(2500), 2500);
}

TEST(JudgePacer, AFloodOfAnsweringProxiesNeverPutsMoreThanTheLimitOnAHostInAnyWindow)
{
    const int kLimit = 50;
    const double kWindowMs = 1000;
    CJudgePacer pacer({"judge-one.test", "judge-two.test"}, kLimit, kWindowMs);
    std::map<int, std::vector<double>> sentTo;
    // 1,200 proxies answer within the first half second; each waits for
    // the next turn the pacer names, as the batch does.
    std::vector<double> waiting;
    for (int i = 0; i < 1200; ++i) waiting.push_back(i * 0.4);
    double dNow = 0;
    size_t nNext = 0;
    while (nNext < waiting.size()) {
        dNow = std::max(dNow, waiting[nNext]);
        int nJudge = pacer.Take(dNow);
        if (nJudge < 0) {
            double dTurn = pacer.NextTurnMs(dNow);
            ASSERT_GT(dTurn, dNow) << "no turn now, so the next one is later";
            dNow = dTurn;
            continue;
        }
        sentTo[nJudge].push_back(dNow);
        ++nNext;
    }
    ASSERT_EQ(sentTo.size(), 2u);
    for (const auto& one : sentTo) EXPECT_LE(MostInAnyWindow(one.second, kWindowMs), kLimit) << one.first;
    EXPECT_EQ(sentTo[0].size(), sentTo[1].size()) << "both judges take half";
    // Never slower than the limit demands: 1,200 at 100 a second (turns
    // are counted in whole milliseconds).
    EXPECT_LE(dNow, (1200 / (2 * kLimit) - 1) * kWindowMs + waiting[2 * kLimit - 1] + 1);
}

} // namespace
