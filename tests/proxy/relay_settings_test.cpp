// A browser's kept-alive connection and the settings it began with: what
// still reaches the upstream after the user moves to another one, turns a
// filter switch or sends a head too large to filter, and how an upstream
// that takes requests and never answers is counted.
#include "proxy/filter_switches.h"
#include "proxy/internal/connection_handler.h"
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// An upstream (or origin) that keeps its connections alive and answers each
// request with an HTML page naming its path. "/held" is answered only once
// the test lets it; "/silent" never, the connection held until the proxy ends it.
class CKeptAliveUpstream {
public:
    CKeptAliveUpstream() : m_server([this](SOCKET_HANDLE s) { Serve(s); }) {}
    ~CKeptAliveUpstream() { Release(); }
    WORD Port() const { return m_server.Port(); }
    std::vector<std::string> Heads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heads;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleased = true;
        m_released.notify_all();
    }
    static std::string Answer(const std::string& path, const char* pszExtra = "")
    {
        const std::string body = "<script>" + path;
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
               pszExtra + "\r\n" + body;
    }

private:
    void Serve(SOCKET_HANDLE s)
    {
        for (;;) {
            const std::string head = TestRecvHead(s);
            if (head.empty()) return;
            const std::string line = head.substr(0, head.find(" HTTP/"));
            const std::string path = line.substr(line.rfind('/'));
            std::unique_lock<std::mutex> lock(m_mutex);
            m_heads.push_back(head);
            if (path == "/silent") {
                lock.unlock();
                TestRecvAll(s);
                return;
            }
            if (path == "/held") m_released.wait_for(lock, std::chrono::seconds(10), [this] { return m_bReleased; });
            lock.unlock();
            TestSend(s, Answer(path));
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_bReleased = false;
    std::vector<std::string> m_heads;
    CTestTcpServer m_server; // last: its threads use the members above
};

// What comes until the proxy closes, or at most 5 s of it: a proxy that
// keeps the connection fails the test rather than hanging it.
std::string RecvUntilClose(SOCKET_HANDLE s)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string got;
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (SockWaitReadable(s, NO_SOCKET, 100) != 1) continue;
        const int n = SockRecv(s, buf, static_cast<int>(sizeof buf));
        if (n <= 0) return got;
        got.append(buf, static_cast<size_t>(n));
    }
    return got + "<still open>";
}

enum EChange { MOVE_TO_B, RESTART_SAME, FILTER_ON, SWITCH_OFF };

struct CSwitchRow {
    const char* pszName;
    bool bDirectFirst; // the connection begins without an upstream, at A as its server
    EChange change;
    bool bHeld;          // the change comes while the first answer is on its way
    bool bSecondCarried; // the second request on the connection still goes to A
};

} // namespace

TEST(RelaySettingsTest, KeptAliveConnectionReachesNothingTheUserLeft)
{
    const CSwitchRow rows[] = {
        {"upstream A to B between answers", false, MOVE_TO_B, false, false},
        {"upstream A to B with an answer in flight", false, MOVE_TO_B, true, false},
        {"direct to upstream B", true, MOVE_TO_B, false, false},
        {"restart with the same upstream and account", false, RESTART_SAME, false, true},
        {"a filter switch turned on", false, FILTER_ON, false, false},
        {"switched off between answers", false, SWITCH_OFF, false, false},
        {"switched off with an answer in flight", false, SWITCH_OFF, true, false},
    };
    for (const CSwitchRow& row : rows) {
        SCOPED_TRACE(row.pszName);
        CKeptAliveUpstream a, b;
        CLocalProxyServer proxy;
        const long nSockets = SockOpenCount();
        ASSERT_TRUE(proxy.Start(0, row.bDirectFirst ? 0 : 1, "127.0.0.1", a.Port(), "alice", "pw"));
        const WORD nPort = proxy.GetLocalPort();
        SOCKET_HANDLE s = TestConnect(nPort);
        ASSERT_NE(s, NO_SOCKET);
        const std::string first = row.bHeld ? "/held" : "/one";
        ASSERT_TRUE(TestSend(s, NamedGetRequest(a.Port(), first)));
        if (!row.bHeld) {
            ASSERT_EQ(TestRecvCount(s, CKeptAliveUpstream::Answer(first).size()), CKeptAliveUpstream::Answer(first));
        }
        // The first request went out before the change, and its answer (when
        // in) left the relay waiting between answers.
        while (a.Heads().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (row.change == MOVE_TO_B) {
            ASSERT_TRUE(proxy.Start(nPort, 1, "127.0.0.1", b.Port(), "bob", "pw"));
        } else if (row.change == RESTART_SAME) {
            ASSERT_TRUE(proxy.Start(nPort, 1, "127.0.0.1", a.Port(), "alice", "pw"));
        }
        if (row.change == FILTER_ON) SetFilterSwitches(0, 1);
        if (row.change == SWITCH_OFF) proxy.Stop();
        if (row.bHeld) {
            // An answer whose head is still to come can say that the
            // connection ends with it.
            a.Release();
            EXPECT_EQ(RecvUntilClose(s), CKeptAliveUpstream::Answer(first, "Connection: close\r\n"));
        } else if (row.bSecondCarried) {
            ASSERT_TRUE(TestSend(s, NamedGetRequest(a.Port(), "/two")));
            EXPECT_EQ(TestRecvCount(s, CKeptAliveUpstream::Answer("/two").size()), CKeptAliveUpstream::Answer("/two"));
        } else if (row.change == MOVE_TO_B || row.change == SWITCH_OFF) {
            // Idle between answers, the connection ends with the switch,
            // before the browser asks again.
            EXPECT_EQ(RecvUntilClose(s), "");
        } else {
            // Nothing comes back, and the browser asks again on a new one.
            TestSend(s, NamedGetRequest(a.Port(), "/two"));
            EXPECT_EQ(RecvUntilClose(s), "");
        }
        SockClose(s);
        EXPECT_EQ(a.Heads().size(), row.bSecondCarried ? 2u : 1u);
        if (row.change == MOVE_TO_B) {
            const std::string answer =
                FetchThroughProxy(nPort, NamedGetRequest(a.Port(), "/three", "Connection: close\r\n"));
            EXPECT_EQ(answer, CKeptAliveUpstream::Answer("/three", "Connection: close\r\n"));
            ASSERT_EQ(b.Heads().size(), 1u);
            EXPECT_NE(b.Heads()[0].find("Proxy-Authorization: Basic "), std::string::npos);
            EXPECT_EQ(a.Heads().size(), 1u);
        }
        SetFilterSwitches(0, 0);
        proxy.Stop();
        EXPECT_EQ(WaitForOpenSockets(nSockets), nSockets);
    }
}

// A head past the tracker's limit (a large cookie) on a kept-alive
// connection while a filter is on: neither it nor what follows reaches the
// server, so no answer comes back unfiltered; the browser's connection ends.
TEST(RelaySettingsTest, OversizedHeadWithFilterOnEndsTheConnection)
{
    CKeptAliveUpstream upstream;
    CLocalProxyServer proxy;
    SetFilterSwitches(1, 0);
    ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", upstream.Port(), "", ""));
    SOCKET_HANDLE s = TestConnect(proxy.GetLocalPort());
    ASSERT_NE(s, NO_SOCKET);
    ASSERT_TRUE(TestSend(s, NamedGetRequest(upstream.Port(), "/small")));
    std::string rest; // the body, up to its last chunk
    const std::string first = TestRecvHead(s, &rest);
    EXPECT_NE(first.find("Transfer-Encoding: chunked"), std::string::npos) << first;
    while (rest.size() < 5 || rest.compare(rest.size() - 5, 5, "0\r\n\r\n") != 0) {
        const std::string more = TestRecvCount(s, 1);
        if (more.empty()) break;
        rest += more;
    }
    EXPECT_NE(rest.find("<noscript>"), std::string::npos) << rest;

    const std::string big = NamedGetRequest(upstream.Port(), "/big", "Cookie: " + std::string(70 * 1024, 'c') + "\r\n");
    ASSERT_TRUE(TestSend(s, big + NamedGetRequest(upstream.Port(), "/after")));
    EXPECT_EQ(RecvUntilClose(s), "");
    SockClose(s);
    SetFilterSwitches(0, 0);
    proxy.Stop();
    EXPECT_EQ(upstream.Heads().size(), 1u);
}

// An upstream that takes the request and lets the whole head-wait pass
// without a byte counts as a refusal; only an answer ends a run of them,
// a connection that merely got through does not.
TEST(RelaySettingsTest, SilentUpstreamCountsAsFailure)
{
    CKeptAliveUpstream upstream;
    std::atomic<int> nTold{0};
    CLocalProxyServer proxy;
    proxy.SetUpstreamDownHandler([](void* p, unsigned int) { static_cast<std::atomic<int>*>(p)->fetch_add(1); }, &nTold,
                                 3);
    SetRequestHeadWaitMs(200);
    ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", upstream.Port(), "", ""));
    const struct {
        const char* pszPath;
        int nToldAfter;
    } steps[] = {{"/silent", 0}, {"/silent", 0}, {"/fine", 0}, {"/silent", 0}, {"/silent", 0}, {"/silent", 1}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszPath);
        SOCKET_HANDLE s = TestConnect(proxy.GetLocalPort());
        ASSERT_TRUE(TestSend(s, NamedGetRequest(upstream.Port(), step.pszPath, "Connection: close\r\n")));
        const std::string answer = RecvUntilClose(s);
        SockClose(s);
        EXPECT_EQ(answer.empty(), std::string(step.pszPath) == "/silent");
        EXPECT_EQ(nTold.load(), step.nToldAfter);
    }
    proxy.Stop();
    SetRequestHeadWaitMs(0);
}
