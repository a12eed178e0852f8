// Test All's load on the judges: a batch over the stand-in proxies of the
// peers fixture (each answering one listed twice, with silent, unaccepted
// and refusing ones among them) against two judge stand-ins in this process
// that note when each request arrives. Neither judge gets more than the
// batch's limit in any second, both get their share, only proxies that
// answered reach a judge, and every one of them gets its turn. And a proxy
// that accepts and never answers hears no judge's name. The tunnels to an
// https:// judge take the same turns, shared with a plain judge of its host.
#include "framework/core/socket_api.h"
#include "framework/core/string_list.h"
#include "proxylist/judge_answer.h"
#include "proxylist/proxy_batch_test.h"
#include "proxylist/tick_clock.h"

#include <gtest/gtest.h>

#include "support/loopback_tcp.h"
#include "support/peers_dir.h"
#include "support/raw_file.h"
#include "support/standin_proxies.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// A judge that answers in the program's own style and notes the arrival of
// every request. It names 127.0.0.2, where the stand-in proxies connect
// from, as the client of every request.
class CTimedJudge {
public:
    CTimedJudge() : m_server([this](SOCKET_HANDLE s) { Serve(s); }) {}

    WORD Port() const { return m_server.Port(); }
    std::vector<double> Arrivals() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_arrivals;
    }

private:
    void Serve(SOCKET_HANDLE s)
    {
        std::string head = TestRecvHead(s);
        if (head.empty()) return;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_arrivals.push_back(CwMonotonicMs());
        }
        std::string lines = head.substr(0, head.size() - 2); // each line with its CR LF, the empty one not
        std::string page = std::string(JUDGE_MAGIC) + "\r\nClient: 127.0.0.2\r\nRequest: " + lines + "\r\n";
        char trailer[64];
        std::snprintf(trailer, sizeof trailer, "Length: %u\r\nChecksum: %08lx\r\n", static_cast<unsigned>(page.size()),
                      static_cast<unsigned long>(JudgeChecksum(page.data(), page.size())));
        page += trailer;
        TestSend(s, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);
    }

    mutable std::mutex m_mutex;
    std::vector<double> m_arrivals;
    CTestTcpServer m_server; // last: its threads use the members above
};

// The most arrivals inside any second [t, t + 1000 ms).
int MostInAnySecond(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    int nMost = 0;
    for (size_t i = 0, j = 0; i < times.size(); ++i) {
        while (j < times.size() && times[j] < times[i] + 1000) ++j;
        nMost = std::max(nMost, static_cast<int>(j - i));
    }
    return nMost;
}

TEST(BatchPacing, TwoJudgesShareTheAnsweringProxiesAndNeitherGetsMoreThanItsLimitInAnySecond)
{
    ASSERT_FALSE(PeersDir().empty()) << "CW_PEERS_DIR is not set: run through ctest";
    ASSERT_TRUE(SockInitOnce());
    CTimedJudge one, two;
    ASSERT_TRUE(one.Port() && two.Port());
    // Two hosts: the second judge by another name of this machine.
    std::string strJudges = "http://127.0.0.1:" + std::to_string(one.Port()) +
                            "/judge http://127.1:" + std::to_string(two.Port()) + "/judge";

    CStringList entries;
    int nAnswering = 0;
    for (int nRound = 0; nRound < 2; ++nRound)
        for (const CStandIn& standIn : ReadStandIns(PeersDir())) {
            if (standIn.strKind == "slow" && nRound) continue;
            if (ExpectedGrade(standIn.strKind) != PROXY_GRADE_DEAD)
                ++nAnswering;
            else if (nRound)
                continue;
            entries.AddTail(standIn.strEntry.c_str());
        }
    for (int i = 1; i <= 20; ++i) entries.AddTail(("127.0.1." + std::to_string(i) + ":9").c_str());
    ASSERT_GE(nAnswering, 100);

    const int kPerSecond = 12;
    CProxyBatchTest batch;
    batch.SetJudgeRequestsPerSecond(kPerSecond);
    // A few dozen in flight: the stand-in proxies (threads of one Python
    // process) and the judges (threads of this one) take a crowd of new
    // connections slowly enough to bunch the arrivals of requests that left
    // here well apart.
    ASSERT_TRUE(batch.Start(entries, strJudges.c_str(), 60000, 40, 4000));
    ASSERT_TRUE(batch.Wait(70000));

    int nGraded = 0;
    for (const CProxyBatchResult& result : batch.Results()) {
        EXPECT_NE(result.report.eGrade, PROXY_GRADE_UNTESTED) << result.strEntry.str();
        if (result.report.eGrade == PROXY_GRADE_DEAD || result.report.eGrade == PROXY_GRADE_UNTESTED) continue;
        ++nGraded;
        // The last ones waited seconds for their turn; that is not the
        // proxy's time.
        EXPECT_LT(result.report.nResponseMs, 4000) << result.strEntry.str();
        EXPECT_LT(result.report.nConnectMs, 4000) << result.strEntry.str();
    }
    EXPECT_EQ(nGraded, nAnswering) << "every proxy that answered got its turn at a judge";

    std::vector<double> toOne = one.Arrivals(), toTwo = two.Arrivals();
    // Only proxies that answered reached a judge, and nothing else did.
    EXPECT_EQ(toOne.size() + toTwo.size(), static_cast<size_t>(nAnswering));
    EXPECT_LE(MostInAnySecond(toOne), kPerSecond);
    EXPECT_LE(MostInAnySecond(toTwo), kPerSecond);
    EXPECT_GE(std::min(toOne.size(), toTwo.size()), static_cast<size_t>(nAnswering * 2 / 5)) << "both take a share";
}

TEST(BatchPacing, TunnelsToAnHttpsJudgeTakeTurnsOfItsHostWithThePlainJudgeThere)
{
    ASSERT_FALSE(PeersDir().empty()) << "CW_PEERS_DIR is not set: run through ctest";
    ASSERT_TRUE(SockInitOnce());
    CTimedJudge plain;
    // The tunnel's end notes each arrival; it speaks no TLS, which only
    // makes the tunnels carry no HTTPS.
    std::mutex tunnelLock;
    std::vector<double> tunnels;
    CTestTcpServer httpsJudge([&](SOCKET_HANDLE) {
        std::lock_guard<std::mutex> guard(tunnelLock);
        tunnels.push_back(CwMonotonicMs());
    });
    std::string strJudges = "http://127.0.0.1:" + std::to_string(plain.Port()) +
                            "/judge https://127.0.0.1:" + std::to_string(httpsJudge.Port()) + "/judge";
    // One proxy listed many times over: each line is tested as an entry of
    // its own, and every one of them works, so each asks both judges.
    std::string strSocks =
        "socks5://127.0.0.1:" + std::to_string(std::atoi(ReadRaw(PeersDir() + "microsocks.port").c_str()));
    CStringList entries;
    const int kEntries = 24;
    for (int i = 0; i < kEntries; ++i) entries.AddTail(strSocks.c_str());

    const int kPerSecond = 8;
    CProxyBatchTest batch;
    batch.SetJudgeRequestsPerSecond(kPerSecond);
    ASSERT_TRUE(batch.Start(entries, strJudges.c_str(), 30000, 40, 4000));
    ASSERT_TRUE(batch.Wait(40000));

    for (const CProxyBatchResult& result : batch.Results()) {
        EXPECT_EQ(result.report.eGrade, PROXY_GRADE_ELITE);
        EXPECT_EQ(result.report.eHttps, HTTPS_NONE);
    }
    std::vector<double> toHost = plain.Arrivals();
    {
        std::lock_guard<std::mutex> guard(tunnelLock);
        EXPECT_EQ(tunnels.size(), static_cast<size_t>(kEntries)) << "every tunnel got its turn";
        toHost.insert(toHost.end(), tunnels.begin(), tunnels.end());
    }
    EXPECT_EQ(toHost.size(), static_cast<size_t>(2 * kEntries));
    EXPECT_LE(MostInAnySecond(toHost), kPerSecond);
}

TEST(BatchPacing, AProxyThatAcceptsAndNeverAnswersHearsNoJudgesNameAndTakesNoTurn)
{
    ASSERT_FALSE(PeersDir().empty()) << "CW_PEERS_DIR is not set: run through ctest";
    ASSERT_TRUE(SockInitOnce());
    CTimedJudge judge;
    std::mutex heardLock;
    std::vector<std::string> heard;
    // Notes what it was sent, then says nothing until the client goes.
    CTestTcpServer silent([&](SOCKET_HANDLE s) {
        std::string head = TestRecvHead(s);
        {
            std::lock_guard<std::mutex> guard(heardLock);
            heard.push_back(head);
        }
        TestRecvAll(s);
    });
    std::string strSilent = "127.0.0.1:" + std::to_string(silent.Port());
    std::string strPlain;
    for (const CStandIn& standIn : ReadStandIns(PeersDir()))
        if (standIn.strKind == "plain") strPlain = standIn.strEntry;
    ASSERT_FALSE(strPlain.empty());

    // The silent ones first: had they taken turns, one a second, the
    // answering one would come after all of them and the batch's end.
    CStringList entries;
    for (int i = 0; i < 8; ++i) entries.AddTail(strSilent.c_str());
    entries.AddTail(strPlain.c_str());
    CProxyBatchTest batch;
    batch.SetJudgeRequestsPerSecond(1);
    std::string strJudge = "http://127.0.0.1:" + std::to_string(judge.Port()) + "/judge";
    ASSERT_TRUE(batch.Start(entries, strJudge.c_str(), 6000, 50, 1500));
    ASSERT_TRUE(batch.Wait(15000));

    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(batch.Results()[i].report.eGrade, PROXY_GRADE_DEAD);
    EXPECT_NE(batch.Results()[8].report.eGrade, PROXY_GRADE_DEAD);
    EXPECT_NE(batch.Results()[8].report.eGrade, PROXY_GRADE_UNTESTED);
    std::lock_guard<std::mutex> guard(heardLock);
    ASSERT_EQ(heard.size(), 8u);
    for (const std::string& head : heard) EXPECT_EQ(head.find("judge"), std::string::npos) << head;
}

} // namespace
