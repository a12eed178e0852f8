// Start, Stop and restart of the local proxy: what Start reports, that Stop
// frees the port at once, and that a restart never mixes configurations.
#include "proxy/internal/upstream_config.h"
#include "proxy/internal/upstream_health.h"
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

TEST(ServerLifecycleTest, FreshServerIsIdleAndStopIsHarmless)
{
    CLocalProxyServer proxy;
    EXPECT_EQ(proxy.IsRunning(), 0);
    proxy.Stop();
    proxy.Stop();
    EXPECT_EQ(proxy.IsRunning(), 0);
}

TEST(ServerLifecycleTest, PortTakenByAnotherProgramMakesStartFail)
{
    CTestTcpServer other([](SOCKET_HANDLE) {});
    CLocalProxyServer proxy;
    EXPECT_FALSE(proxy.Start(other.Port(), 0, "", 0, "", ""));
    EXPECT_EQ(proxy.IsRunning(), 0);
    // Nothing half-made stays behind: the next Start on a free port works.
    EXPECT_TRUE(proxy.Start(0, 0, "", 0, "", ""));
    EXPECT_EQ(proxy.IsRunning(), 1);
}

TEST(ServerLifecycleTest, StopThenStartAtOnceOnTheSamePortListensAgain)
{
    CRecordingOrigin origin;
    CLocalProxyServer proxy;
    ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", origin.Port(), "", ""));
    const WORD port = proxy.GetLocalPort();
    for (int i = 0; i < 15; ++i) {
        // The listener is blocked waiting for a connection here; Stop must
        // wake it and have the port closed before it returns.
        proxy.Stop();
        EXPECT_EQ(proxy.IsRunning(), 0);
        ASSERT_TRUE(proxy.Start(port, 1, "127.0.0.1", origin.Port(), "", "")) << "round " << i;
        EXPECT_EQ(proxy.IsRunning(), 1);
        EXPECT_EQ(proxy.GetLocalPort(), port);
        if (i % 5 == 0) {
            EXPECT_EQ(FetchThroughProxy(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 200 OK\r\n\r\nhello");
        }
    }
    proxy.Stop();
    // Nothing listens any more.
    EXPECT_EQ(TestConnect(port), NO_SOCKET);
}

TEST(ServerLifecycleTest, StartWhileRunningReplacesTheListener)
{
    CLocalProxyServer proxy;
    ASSERT_TRUE(proxy.Start(0, 0, "", 0, "", ""));
    const WORD port = proxy.GetLocalPort();
    ASSERT_TRUE(proxy.Start(port, 0, "", 0, "", ""));
    EXPECT_EQ(proxy.IsRunning(), 1);
}

TEST(ServerLifecycleTest, StopEndsEstablishedConnectionsBeforeTheirNextBytes)
{
    // The socket count is process-wide: let an earlier test's relays end first.
    ASSERT_EQ(WaitForOpenSockets(0), 0) << "sockets of an earlier test are still open";
    std::atomic<bool> bPinged{false};
    CTestTcpServer origin([&bPinged](SOCKET_HANDLE s) {
        TestRecvHead(s);
        TestSend(s, "first");
        if (TestRecvCount(s, 4) == "ping") bPinged = true;
    });
    CLocalProxyServer proxy;
    ASSERT_TRUE(proxy.Start(0, 0, "", 0, "", ""));
    const long nBefore = SockOpenCount();
    SOCKET_HANDLE s = TestConnect(proxy.GetLocalPort());
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, GetRequest(origin.Port(), "/"));
    EXPECT_EQ(TestRecvCount(s, 5), "first");
    proxy.Stop();
    // Switched off, the proxy carries nothing more to where it went before.
    TestSend(s, "ping");
    EXPECT_EQ(TestRecvAll(s), "");
    SockClose(s);
    EXPECT_FALSE(bPinged.load());
    // The listener's two sockets went with Stop; the connection's with its end.
    EXPECT_EQ(WaitForOpenSockets(nBefore - 2), nBefore - 2);
}

TEST(ServerLifecycleTest, DestroyingARunningServerFreesItsPort)
{
    WORD port;
    {
        CLocalProxyServer proxy;
        ASSERT_TRUE(proxy.Start(0, 0, "", 0, "", ""));
        port = proxy.GetLocalPort();
    }
    CLocalProxyServer again;
    EXPECT_TRUE(again.Start(port, 0, "", 0, "", ""));
}

#ifdef __linux__
TEST(ServerLifecycleTest, ListensOnTheLoopbackAddressOnly)
{
    CLocalProxyServer proxy;
    ASSERT_TRUE(proxy.Start(0, 0, "", 0, "", ""));
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", proxy.GetLocalPort());
    char anyAddress[32];
    std::snprintf(anyAddress, sizeof anyAddress, "00000000:%04X", proxy.GetLocalPort());
    std::ifstream table("/proc/net/tcp");
    std::string line;
    int nLoopback = 0, nAny = 0;
    while (std::getline(table, line)) {
        // Local address is the second column; state 0A is LISTEN.
        if (line.find(" 0A ") == std::string::npos) continue;
        if (line.find(wanted) != std::string::npos) ++nLoopback;
        if (line.find(anyAddress) != std::string::npos) ++nAny;
    }
    EXPECT_EQ(nLoopback, 1);
    EXPECT_EQ(nAny, 0);
}
#endif

TEST(ServerLifecycleTest, RestartWithOtherUpstreamNeverMixesConfigurations)
{
    CRecordingOrigin upstreamA("HTTP/1.0 200 OK\r\n\r\nA");
    CRecordingOrigin upstreamB("HTTP/1.0 200 OK\r\n\r\nB");
    CLocalProxyServer proxy;
    ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", upstreamA.Port(), "alice", "a-pass"));
    const WORD port = proxy.GetLocalPort();
    const std::string authA = BuildProxyAuthHeader("alice", "a-pass").str();

    std::atomic<int> nDone{0};
    std::atomic<int> nAnswered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&] {
            // Connections made while the port is between two listeners are
            // refused or reset; those are simply tried again.
            int nMine = 0;
            for (int i = 0; i < 3000 && nMine < 30; ++i) {
                std::string answer =
                    FetchThroughProxy(port, "GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n\r\n");
                if (answer.size() > 19) {
                    nAnswered.fetch_add(1);
                    ++nMine;
                }
            }
            nDone.fetch_add(1);
        });
    }
    for (int round = 0; nDone.load() < 4 && round < 2000; ++round) {
        if (round % 2 == 0)
            EXPECT_TRUE(proxy.Start(port, 1, "127.0.0.1", upstreamB.Port(), "", ""));
        else
            EXPECT_TRUE(proxy.Start(port, 1, "127.0.0.1", upstreamA.Port(), "alice", "a-pass"));
        SleepMs(2);
    }
    for (std::thread& t : clients) t.join();
    proxy.Stop();

    EXPECT_GT(nAnswered.load(), 0);
    // A handler that went to A used A's account; one that went to B sent none.
    for (const std::string& head : upstreamA.Requests()) EXPECT_NE(head.find(authA), std::string::npos) << head;
    for (const std::string& head : upstreamB.Requests())
        EXPECT_EQ(head.find("Proxy-Authorization"), std::string::npos) << head;
    EXPECT_EQ(upstreamA.Requests().size() + upstreamB.Requests().size(), static_cast<size_t>(nAnswered.load()));
}

// A run of refusals is told once; only a connection that gets through
// lets the next run be told again.
TEST(ServerLifecycleTest, UpstreamHealthTellsOncePerRunOfRefusals)
{
    int nTold = 0;
    CUpstreamHealth health(
        3, [](void* p, unsigned int) { ++*static_cast<int*>(p); }, &nTold);
    const struct {
        BOOL bConnected;
        int nToldAfter;
    } steps[] = {{FALSE, 0}, {FALSE, 0}, {TRUE, 0}, {FALSE, 0}, {FALSE, 0}, {FALSE, 1}, {FALSE, 1},
                 {FALSE, 1}, {FALSE, 1}, {TRUE, 1}, {FALSE, 1}, {FALSE, 1}, {FALSE, 2}};
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        health.NoteConnect(steps[i].bConnected);
        EXPECT_EQ(nTold, steps[i].nToldAfter) << "step " << i;
    }
}

// Refused tunnels are a run of their own: plain connections that work do
// not end it, an answer that the server could not be reached counts for
// nothing, and only an opened tunnel lets the next run be told again.
TEST(ServerLifecycleTest, UpstreamHealthTellsARunOfRefusedTunnelsOnceApartFromConnections)
{
    static int s_nDown = 0;
    static int s_nNoTunnels = 0;
    s_nDown = s_nNoTunnels = 0;
    CUpstreamHealth health(
        3, [](void*, unsigned int) { ++s_nDown; }, nullptr, 7,
        [](void*, unsigned int nStart) {
            EXPECT_EQ(7u, nStart);
            ++s_nNoTunnels;
        });
    const struct {
        int nStatus; // 0: a plain connection that worked
        int nToldAfter;
    } steps[] = {{403, 0}, {0, 0},   {405, 0}, {502, 0}, {504, 0}, {407, 1}, {501, 1},
                 {200, 1}, {403, 1}, {503, 1}, {403, 1}, {400, 2}, {403, 2}};
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        if (steps[i].nStatus == 0)
            health.NoteConnect(TRUE);
        else
            health.NoteTunnelAnswer(steps[i].nStatus);
        EXPECT_EQ(steps[i].nToldAfter, s_nNoTunnels) << "step " << i;
    }
    EXPECT_EQ(0, s_nDown) << "a proxy that refuses tunnels still answers";
}

// The server counts its upstream's refusals, afresh at each start, names
// the start in its notice, and counts nothing without an upstream.
TEST(ServerLifecycleTest, UpstreamThatRefusesConnectionsIsReported)
{
    WORD deadPort = 0;
    {
        CTestTcpServer gone([](SOCKET_HANDLE) {});
        deadPort = gone.Port();
    }
    static std::atomic<unsigned int> s_nToldStart{0};
    std::atomic<int> nTold{0};
    CLocalProxyServer proxy;
    proxy.SetUpstreamDownHandler(
        [](void* p, unsigned int nStart) {
            s_nToldStart = nStart;
            static_cast<std::atomic<int>*>(p)->fetch_add(1);
        },
        &nTold, 3);
    ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", deadPort, "", ""));
    const unsigned int nFirstStart = proxy.GetStartSerial();
    const std::string request = "GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n\r\n";
    for (int i = 0; i < 2; ++i) FetchThroughProxy(proxy.GetLocalPort(), request);
    EXPECT_EQ(nTold.load(), 0);
    FetchThroughProxy(proxy.GetLocalPort(), request);
    EXPECT_EQ(nTold.load(), 1);
    EXPECT_EQ(s_nToldStart.load(), nFirstStart);

    // Two refusals after a new start are not three; the third is told as
    // the new start's.
    ASSERT_TRUE(proxy.Start(proxy.GetLocalPort(), 1, "127.0.0.1", deadPort, "", ""));
    EXPECT_NE(proxy.GetStartSerial(), nFirstStart);
    for (int i = 0; i < 2; ++i) FetchThroughProxy(proxy.GetLocalPort(), request);
    EXPECT_EQ(nTold.load(), 1);
    FetchThroughProxy(proxy.GetLocalPort(), request);
    EXPECT_EQ(nTold.load(), 2);
    EXPECT_EQ(s_nToldStart.load(), proxy.GetStartSerial());

    ASSERT_TRUE(proxy.Start(proxy.GetLocalPort(), 0, "", 0, "", ""));
    char direct[160];
    std::snprintf(direct, sizeof direct, "GET http://127.0.0.1:%u/ HTTP/1.1\r\nHost: 127.0.0.1:%u\r\n\r\n", deadPort,
                  deadPort);
    for (int i = 0; i < 4; ++i) FetchThroughProxy(proxy.GetLocalPort(), direct);
    EXPECT_EQ(nTold.load(), 2);
}
