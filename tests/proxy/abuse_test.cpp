// Requests a browser would not send but anybody on the machine can: a target
// that is the proxy itself, a client that never finishes its head, a Host
// value with a NUL in it. Each must end its own connection and cost nothing
// that outlives it.
#include "framework/core/address_space.h"
#include "framework/core/thread_api.h"
#include "proxy/internal/connection_handler.h"
#include "proxy/internal/held_connections.h"
#include "proxy/internal/self_target.h"
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
        SetMaxHeldConnections(0);
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

    for (const char* pszHost : {"127.0.0.1", "localhost", "0.0.0.0", "127.3.2.1"}) {
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

    // With an upstream, the upstream would connect back to us: a loopback
    // name for our port (the forms are the table's below) is refused before
    // it is asked, in either request form; any other port goes on as usual.
    {
        CRecordingOrigin upstream;
        m_proxy.Stop();
        ASSERT_TRUE(m_proxy.Start(port, 1, "127.0.0.1", upstream.Port(), "", ""));
        for (const char* pszHost : {"LocalHost.", "[::1]"}) {
            const std::string hostPort = pszHost + ":"s + self;
            EXPECT_EQ(FetchThroughProxy(port, "GET http://" + hostPort + "/ HTTP/1.1\r\nHost: x\r\n\r\n"), "")
                << hostPort;
            EXPECT_EQ(FetchThroughProxy(port, "GET / HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n"), "") << hostPort;
        }
        EXPECT_EQ(upstream.Accepted(), 0);
        const std::string other = "localhost:" + std::to_string(port == 65535 ? 1 : port + 1);
        EXPECT_EQ(FetchThroughProxy(port, "GET http://" + other + "/ HTTP/1.1\r\nHost: " + other + "\r\n\r\n"),
                  "HTTP/1.0 200 OK\r\n\r\nhello");
        EXPECT_EQ(upstream.Accepted(), 1);
    }

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

TEST(SelfTargetTest, LoopbackNamesInTheFormsAResolverTakes)
{
    for (const char* pszHost :
         {"localhost", "LOCALHOST.", "x.localhost", "127.0.0.1", "127.255.0.9", "0.0.0.0", "0", "127.1", "2130706433",
          "0x7f000001", "0177.0.0.1", "[::1]", "[0:0:0:0:0:0:0:1]", "[::]", "[::ffff:127.0.0.1]", "[::1%lo]"})
        EXPECT_TRUE(IsLoopbackHost(pszHost)) << pszHost;
    for (const char* pszHost :
         {"", "localhost.example", "mylocalhost", "127.0.0.1.example", "128.0.0.1", "126.255.255.255", "1.0.0.0",
          "0x80000001", "127.0.0.256", "08.0.0.1", "[::2]", "[1::1]", "[::ffff:10.0.0.1]", "[::1", "::1", "[:::1]"})
        EXPECT_FALSE(IsLoopbackHost(pszHost)) << pszHost;
    EXPECT_TRUE(AuthorityNamesPort("localhost:8080", 8080));
    EXPECT_TRUE(AuthorityNamesPort("user:pw@[::1]:8080", 8080));
    EXPECT_TRUE(AuthorityNamesPort("127.0.0.1", 80));
    EXPECT_FALSE(AuthorityNamesPort("localhost:8081", 8080));
    EXPECT_FALSE(AuthorityNamesPort("localhost:80800", 8080));
    EXPECT_FALSE(AuthorityNamesPort("[::1]", 8080));
}

TEST_F(AbuseTest, PastTheBoundOfHeldConnectionsTheLongestIdleMakesRoom)
{
    // An origin that answers every request on a connection and keeps it.
    CTestTcpServer origin([](SOCKET_HANDLE s) {
        std::string rest;
        for (;;) {
            if (rest.find("\r\n\r\n") == std::string::npos && TestRecvHead(s, &rest).empty()) return;
            rest.erase(0, rest.find("\r\n\r\n") == std::string::npos ? 0 : rest.find("\r\n\r\n") + 4);
            if (!TestSend(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")) return;
        }
    });
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    SetMaxHeldConnections(3);
    ASSERT_TRUE(m_proxy.Start(0, 0, "", 0, "", ""));
    const WORD port = m_proxy.GetLocalPort();
    const std::string request = GetRequest(origin.Port(), "/");
    SOCKET_HANDLE held[3];
    for (SOCKET_HANDLE& s : held) {
        s = TestConnect(port);
        ASSERT_TRUE(TestSend(s, request));
        ASSERT_EQ(TestRecvCount(s, answer.size()), answer);
        SleepMs(20); // each idle from its own moment
    }
    // The second asks again, so it has been idle for less time than the
    // third: the first, idle the longest, makes room for a fourth.
    ASSERT_TRUE(TestSend(held[1], request));
    SleepMs(50);
    SOCKET_HANDLE fourth = TestConnect(port);
    ASSERT_TRUE(TestSend(fourth, request));
    EXPECT_EQ(TestRecvCount(fourth, answer.size()), answer);
    EXPECT_EQ(TestRecvAll(held[0]), "");
    EXPECT_EQ(TestRecvCount(held[1], answer.size()), answer);
    ASSERT_TRUE(TestSend(held[2], request));
    EXPECT_EQ(TestRecvCount(held[2], answer.size()), answer);
    for (SOCKET_HANDLE s : {held[0], held[1], held[2], fourth}) SockClose(s);
    for (int i = 0; i < 500 && CountHeldConnections() > 0; ++i) SleepMs(10);
    EXPECT_EQ(CountHeldConnections(), 0);
}

// The bound follows the address space: what it allows fits beside the
// program's share in 2 and 3 GB, and a 4 GB process (a 64-bit Windows) gets
// the most; this process's own bound is one of them.
TEST(HeldConnectionCapTest, FollowsTheAddressSpaceTheProcessHas)
{
    const std::uint64_t GB = 1ull << 30;
    int nLast = 0;
    for (std::uint64_t nSpace : {GB, 2 * GB, 3 * GB, 4 * GB}) {
        const int nCap = HeldConnectionCap(nSpace);
        EXPECT_LE(nCap * HELD_CONNECTION_SPACE + PROGRAM_SPACE, nSpace) << nSpace;
        if (nCap < MAX_HELD_CONNECTIONS) {
            EXPECT_GT((nCap + 1) * HELD_CONNECTION_SPACE + PROGRAM_SPACE, nSpace);
        }
        EXPECT_GT(nCap, nLast);
        nLast = nCap;
    }
    EXPECT_EQ(HeldConnectionCap(4 * GB), MAX_HELD_CONNECTIONS);
    EXPECT_EQ(HeldConnectionCap(64 * GB), MAX_HELD_CONNECTIONS);
    EXPECT_EQ(HeldConnectionCap(ProcessAddressSpaceBytes()), GetMaxHeldConnections());
}

namespace {

// Sends nTotal bytes (a head, then filler) in pieces until a send fails or
// all went: the side of a transfer whose peer stops reading.
void SendUntilRefused(SOCKET_HANDLE s, const std::string& head, long long nTotal)
{
    if (!TestSend(s, head)) return;
    const std::string piece(64 * 1024, 'x');
    for (long long nSent = 0; nSent < nTotal; nSent += static_cast<long long>(piece.size()))
        if (!TestSend(s, piece)) return;
}

} // namespace

// A peer that stops reading, the upstream in the middle of an upload or the
// browser in the middle of a download, holds neither the connection's
// thread nor its two sockets past the bound: the relay ends once no byte
// was taken for the head-wait, so stalled peers cannot fill the room for
// held connections and lock new browsers out.
TEST_F(AbuseTest, PeerThatStopsReadingIsLetGoAfterTheBound)
{
    const long long nHuge = 512ll * 1024 * 1024; // more than any socket buffers
    for (const bool bUpstreamStalls : {true, false}) {
        SCOPED_TRACE(bUpstreamStalls ? "upstream stops reading an upload" : "browser stops reading a download");
        std::atomic<bool> bRelease{false};
        CTestTcpServer upstream([&](SOCKET_HANDLE s) {
            if (!bUpstreamStalls) {
                TestRecvHead(s);
                SendUntilRefused(s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(nHuge) + "\r\n\r\n", nHuge);
            }
            // Reads nothing more, and keeps its socket until the test is done.
            while (!bRelease.load()) SleepMs(10);
        });
        SetRequestHeadWaitMs(300);
        ASSERT_TRUE(m_proxy.Start(0, 1, "127.0.0.1", upstream.Port(), "", ""));
        const long nSockets = SockOpenCount();
        SOCKET_HANDLE browser = TestConnect(m_proxy.GetLocalPort());
        ASSERT_NE(browser, NO_SOCKET);
        std::thread uploader;
        if (bUpstreamStalls) {
            uploader = std::thread([&] {
                SendUntilRefused(browser,
                                 "POST http://stalled.test/up HTTP/1.1\r\nHost: stalled.test\r\nContent-Length: " +
                                     std::to_string(nHuge) + "\r\n\r\n",
                                 nHuge);
            });
        } else {
            ASSERT_TRUE(TestSend(browser, "GET http://stalled.test/down HTTP/1.1\r\nHost: stalled.test\r\n\r\n"));
        }
        // The two peers still hold their ends; the proxy holds nothing.
        for (int i = 0; i < 500 && (CountHeldConnections() > 0 || SockOpenCount() != nSockets + 2); ++i) SleepMs(10);
        EXPECT_EQ(CountHeldConnections(), 0);
        EXPECT_EQ(SockOpenCount(), nSockets + 2);
        if (uploader.joinable()) uploader.join(); // its sends fail once the proxy let go
        SockClose(browser);
        bRelease = true;
        m_proxy.Stop();
    }
}
