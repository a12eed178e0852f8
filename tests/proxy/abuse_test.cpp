// Requests a browser would not send but anybody on the machine can: a target
// that is the proxy itself, a client that never finishes its head, a Host
// value with a NUL in it. Each must end its own connection and cost nothing
// that outlives it.
#include "framework/core/thread_api.h"
#include "proxy/internal/connection_handler.h"
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

using namespace std::string_literals;

namespace {

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The most threads the process ran at once while the work ran.
template <typename Work>
long PeakThreadsDuring(Work work)
{
    std::atomic<int> bDone{0};
    std::atomic<long> nPeak{CountProcessThreads()};
    std::thread sampler([&] {
        while (!bDone.load()) {
            long n = CountProcessThreads();
            if (n > nPeak.load()) nPeak.store(n);
            SleepMs(1);
        }
    });
    work();
    // Long enough for a loop the proxy fed itself to show.
    SleepMs(300);
    bDone.store(1);
    sampler.join();
    return nPeak.load();
}

class AbuseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WaitForOpenSockets(0), 0) << "sockets of an earlier test are still open"; }
    void TearDown() override
    {
        m_proxy.Stop();
        SetRequestHeadWaitMs(0);
    }

    CLocalProxyServer m_proxy;
};

} // namespace

TEST_F(AbuseTest, TargetThatIsTheProxyItselfIsRefusedAtTheCostOfOneThread)
{
    ASSERT_TRUE(m_proxy.Start(0, 0, "", 0, "", ""));
    const WORD port = m_proxy.GetLocalPort();
    const std::string self = std::to_string(port);
    // Let the listener and any pool settle before the baseline.
    SleepMs(100);

    for (const char* pszHost : {"127.0.0.1", "localhost", "0.0.0.0"}) {
        const std::string hostPort = pszHost + ":"s + self;
        const long nBefore = CountProcessThreads();
        std::string answer;
        long nPeak = PeakThreadsDuring([&] {
            answer = FetchThroughProxy(port, "GET http://" + hostPort + "/ HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n");
        });
        EXPECT_EQ(answer, "") << hostPort;
        // The sampler is one thread; the refused request may take one more.
        EXPECT_LE(nPeak, nBefore + 2) << hostPort;
    }

    // The user picked the proxy's own address as the upstream.
    m_proxy.Stop();
    ASSERT_TRUE(m_proxy.Start(port, 1, "127.0.0.1", port, "", ""));
    const long nBefore = CountProcessThreads();
    std::string answer;
    long nPeak = PeakThreadsDuring(
        [&] { answer = FetchThroughProxy(port, "GET http://192.0.2.1/ HTTP/1.1\r\nHost: 192.0.2.1\r\n\r\n"); });
    EXPECT_EQ(answer, "");
    EXPECT_LE(nPeak, nBefore + 2);

    // Another server is an ordinary target.
    CRecordingOrigin origin;
    m_proxy.Stop();
    ASSERT_TRUE(m_proxy.Start(port, 0, "", 0, "", ""));
    const long nSockets = SockOpenCount();
    EXPECT_EQ(FetchThroughProxy(port, GetRequest(origin.Port(), "/")), "HTTP/1.0 200 OK\r\n\r\nhello");
    EXPECT_EQ(WaitForOpenSockets(nSockets), nSockets);
}

TEST_F(AbuseTest, ClientThatNeverEndsItsHeadIsClosedWhenTheWaitBoundPasses)
{
    CRecordingOrigin origin;
    SetRequestHeadWaitMs(300);
    ASSERT_TRUE(m_proxy.Start(0, 0, "", 0, "", ""));
    const WORD port = m_proxy.GetLocalPort();
    const long nSockets = SockOpenCount();

    SOCKET_HANDLE silent = TestConnect(port);
    SOCKET_HANDLE trickling = TestConnect(port);
    ASSERT_NE(silent, NO_SOCKET);
    ASSERT_NE(trickling, NO_SOCKET);
    // A byte now and then does not buy more time: the bound is for the
    // whole head. The trickler would go on for 100 header bytes (seconds);
    // the proxy must close it long before.
    const std::string head = GetRequest(origin.Port(), "/");
    const std::string requestLine = head.substr(0, head.find("\r\n") + 2);
    std::atomic<int> nTrickled{0};
    std::atomic<int> bStop{0};
    std::thread trickler([&] {
        if (!TestSend(trickling, requestLine)) return;
        const std::string slow = "X-Slow: 1\r\n";
        for (int i = 0; i < 100 && !bStop.load(); ++i) {
            if (!TestSend(trickling, slow.substr(i % slow.size(), 1))) break;
            nTrickled.fetch_add(1);
            SleepMs(50);
        }
    });
    // Both see their connection closed, with nothing sent back.
    EXPECT_EQ(TestRecvAll(silent), "");
    EXPECT_EQ(TestRecvAll(trickling), "");
    EXPECT_LT(nTrickled.load(), 100);
    bStop.store(1);
    trickler.join();
    SockClose(silent);
    SockClose(trickling);
    EXPECT_EQ(origin.Accepted(), 0);

    // A client that sends its head within the bound is served as before.
    EXPECT_EQ(FetchThroughProxy(port, head), "HTTP/1.0 200 OK\r\n\r\nhello");
    EXPECT_EQ(WaitForOpenSockets(nSockets), nSockets);
}

TEST_F(AbuseTest, HostValueWithANulReachesNobody)
{
    // The resolver would see "127.0.0.1" and reach the origin, while the
    // head it got would name another host.
    CRecordingOrigin origin;
    ASSERT_TRUE(m_proxy.Start(0, 0, "", 0, "", ""));
    const std::string request =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\0.example.org:"s + std::to_string(origin.Port()) + "\r\n\r\n";
    EXPECT_EQ(FetchThroughProxy(m_proxy.GetLocalPort(), request), "");
    EXPECT_EQ(origin.Accepted(), 0);
}
