// Requests through a running proxy to loopback origins and upstreams: what
// reaches the target, what comes back, and that every socket is closed once.
#include "proxy/filter_switches.h"
#include "proxy/internal/upstream_config.h"
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class ForwardingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetFilterSwitches(0, 0);
        // The socket count is process-wide: relays of an earlier test may
        // still be ending, and a baseline taken among them would be wrong.
        ASSERT_EQ(WaitForOpenSockets(0), 0) << "sockets of an earlier test are still open";
    }
    void TearDown() override
    {
        m_proxy.Stop();
        SetFilterSwitches(0, 0);
    }

    WORD StartDirect()
    {
        EXPECT_TRUE(m_proxy.Start(0, 0, "", 0, "", ""));
        return m_proxy.GetLocalPort();
    }

    CLocalProxyServer m_proxy;
};

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A request made by GetRequest as the origin receives it without an upstream.
std::string OriginForm(std::string request)
{
    size_t nAbsolute = request.find("http://");
    request.erase(nAbsolute, request.find('/', nAbsolute + 7) - nAbsolute);
    return request;
}

} // namespace

TEST_F(ForwardingTest, DirectRequestReachesTheOriginItsHostNames)
{
    CRecordingOrigin origin("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    WORD port = StartDirect();
    std::string request = GetRequest(origin.Port(), "/page", "Accept:text/html\r\nhost-x:y\r\nConnection: close\r\n");
    EXPECT_EQ(FetchThroughProxy(port, request), "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    ASSERT_EQ(origin.Requests().size(), 1u);
    std::string hostPort = "127.0.0.1:" + std::to_string(origin.Port());
    // The origin gets the path form of the request line, as servers expect.
    EXPECT_EQ(origin.Requests()[0], "GET /page HTTP/1.1\r\nHost: " + hostPort +
                                        "\r\nAccept: text/html\r\nhost-x: y\r\nConnection: close\r\n\r\n");
}

TEST_F(ForwardingTest, UpstreamGetsTheHeadAsSentPlusOneAuthorizationLine)
{
    CRecordingOrigin upstream;
    std::string user(50, 'u');
    ASSERT_TRUE(m_proxy.Start(0, 1, "127.0.0.1", upstream.Port(), CString(user), "secret"));
    EXPECT_EQ(g_bUseUpstream(), TRUE);
    EXPECT_EQ(g_nUpstreamPort(), upstream.Port());
    EXPECT_STREQ(g_strProxyUser(), user.c_str());

    // The Host names an address the test never contacts: the upstream does.
    const std::string request = "GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n\r\n";
    EXPECT_EQ(FetchThroughProxy(m_proxy.GetLocalPort(), request), "HTTP/1.0 200 OK\r\n\r\nhello");
    ASSERT_EQ(upstream.Requests().size(), 1u);
    std::string auth = BuildProxyAuthHeader(CString(user), "secret").str();
    EXPECT_EQ(upstream.Requests()[0], "GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n" + auth + "\r\n");
    // One line: its only line feed is the one that ends it.
    EXPECT_EQ(auth.find('\n'), auth.size() - 1);

    // Without the upstream, a user name builds no line.
    m_proxy.Stop();
    ASSERT_TRUE(m_proxy.Start(0, 0, "", 0, "user", "pw"));
    EXPECT_EQ(g_bProxyAuthHeader(), FALSE);
    EXPECT_TRUE(g_strProxyAuthHeader().IsEmpty());
}

TEST_F(ForwardingTest, LongHeadInPiecesAndTheBodyAfterItArriveWhole)
{
    CRecordingOrigin origin;
    WORD port = StartDirect();
    std::string cookie(5000, 'c');
    std::string request = GetRequest(origin.Port(), "/form", "Cookie: k=" + cookie + "\r\nContent-Length: 11\r\n");
    request.replace(0, 3, "POST");

    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, request.substr(0, 700));
    SleepMs(30);
    TestSend(s, request.substr(700, 3000));
    SleepMs(30);
    TestSend(s, request.substr(3700) + "hello");
    SleepMs(30);
    TestSend(s, " world");
    EXPECT_EQ(TestRecvAll(s), "HTTP/1.0 200 OK\r\n\r\nhello");
    SockClose(s);

    ASSERT_EQ(origin.Requests().size(), 1u);
    EXPECT_EQ(origin.Requests()[0], OriginForm(request));
    EXPECT_EQ(origin.Bodies()[0], "hello world");
}

TEST_F(ForwardingTest, HeadPastTheBoundClosesTheConnectionWithoutContactingAnyone)
{
    CRecordingOrigin origin;
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    std::string head = GetRequest(origin.Port(), "/");
    head.erase(head.size() - 2); // no empty line yet
    head += "X-Pad: " + std::string(70 * 1024, 'p') + "\r\n";
    TestSend(s, head); // may fail part-way once the proxy gives up
    EXPECT_EQ(TestRecvAll(s), "");
    SockClose(s);
    EXPECT_EQ(origin.Accepted(), 0);
}

TEST_F(ForwardingTest, NoTargetClosesTheBrowserConnectionWithoutAReply)
{
    WORD port = StartDirect();
    EXPECT_EQ(FetchThroughProxy(port, "GET / HTTP/1.0\r\nAccept: */*\r\n\r\n"), "");
    // A refused connection ends the same way.
    EXPECT_EQ(FetchThroughProxy(port, GetRequest(ClosedLoopbackPort(), "/")), "");
}

TEST_F(ForwardingTest, HostPortOutsideTheTcpRangeReachesNobody)
{
    // Cut to 16 bits, either of these would name the origin's own port.
    CRecordingOrigin origin;
    WORD port = StartDirect();
    const long nPlus = static_cast<long>(origin.Port()) + 65536;
    const long nMinus = static_cast<long>(origin.Port()) - 65536;
    for (long nHostPort : {nPlus, nMinus}) {
        std::string hostPort = "127.0.0.1:" + std::to_string(nHostPort);
        EXPECT_EQ(FetchThroughProxy(port, "GET / HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n"), "") << hostPort;
    }
    EXPECT_EQ(origin.Accepted(), 0);
}

TEST_F(ForwardingTest, PortsOutsideTheTcpRangeAreRefusedNotWrapped)
{
    CRecordingOrigin origin;
    // An upstream port cut to 16 bits would name the origin's own port.
    ASSERT_TRUE(m_proxy.Start(0, 1, "127.0.0.1", origin.Port() + 65536, "", ""));
    EXPECT_EQ(FetchThroughProxy(m_proxy.GetLocalPort(), NamedGetRequest(origin.Port(), "/")), "");
    EXPECT_EQ(origin.Accepted(), 0);

    // So would a listening port: nothing may listen on the remainder.
    const WORD nFree = ClosedLoopbackPort();
    EXPECT_FALSE(m_proxy.Start(nFree + 65536, 0, "", 0, "", ""));
    EXPECT_EQ(m_proxy.IsRunning(), 0);
    SOCKET_HANDLE s = TestConnect(nFree);
    EXPECT_EQ(s, NO_SOCKET);
    SockClose(s);
}

TEST_F(ForwardingTest, BinaryBodyInTheSameReadAsTheHeadFollowsItUnchanged)
{
    CRecordingOrigin origin;
    WORD port = StartDirect();
    static const char raw[] = "a\0b\r\n\r\n\0\xff<script>";
    const std::string body(raw, sizeof raw - 1);
    std::string request = GetRequest(origin.Port(), "/post", "Content-Length: " + std::to_string(body.size()) + "\r\n");
    request.replace(0, 3, "POST");
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, request + body);
    // A body cut short would leave the origin waiting for the rest: wait a
    // bounded time, then closing makes it record what it got.
    for (int i = 0; i < 300 && origin.Bodies().empty(); ++i) SleepMs(10);
    SockClose(s);
    for (int i = 0; i < 300 && origin.Bodies().empty(); ++i) SleepMs(10);
    ASSERT_EQ(origin.Bodies().size(), 1u);
    EXPECT_EQ(origin.Requests()[0], OriginForm(request));
    EXPECT_EQ(origin.Bodies()[0], body);
}

TEST_F(ForwardingTest, AnswersAreFilteredAndRequestsAreNot)
{
    CRecordingOrigin origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<script>a()</script><object></object>");
    WORD port = StartDirect();
    std::string request = GetRequest(origin.Port(), "/", "Content-Length: 8\r\n") + "<script>";
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

    SetFilterSwitches(1, 0);
    EXPECT_EQ(FetchThroughProxy(port, request), head + "<noscript>a()</noscript> <object></object>");
    SetFilterSwitches(0, 1);
    EXPECT_EQ(FetchThroughProxy(port, request), head + "<script>a()</script><noobj ></noobj> ");
    SetFilterSwitches(0, 0);
    EXPECT_EQ(FetchThroughProxy(port, request), head + "<script>a()</script><object></object>");
    for (const std::string& body : origin.Bodies()) EXPECT_EQ(body, "<script>");
}

TEST_F(ForwardingTest, KeptAlivePagesArriveFilteredAndChunkedAfterAHeadAnswer)
{
    // The origin answers three pipelined requests on one connection: a HEAD
    // (its length is the page's, no body follows), then two pages.
    std::vector<std::string> heads;
    std::mutex mutex;
    CTestTcpServer origin([&](SOCKET_HANDLE s) {
        std::string got;
        char buf[4096];
        while (got.find("/3 HTTP/1.1") == std::string::npos || got.rfind("\r\n\r\n") + 4 != got.size()) {
            int n = SockRecv(s, buf, sizeof buf);
            if (n <= 0) return;
            got.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            heads.push_back(got);
        }
        TestSend(s, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20\r\n\r\n"
                    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 8\r\n\r\n<Script>"
                    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 9\r\n\r\n</script>");
        TestRecvAll(s);
    });
    WORD port = StartDirect();
    SetFilterSwitches(1, 0);
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    std::string head = GetRequest(origin.Port(), "/1", "Accept-Encoding: gzip\r\n");
    head.replace(0, 3, "HEAD");
    TestSend(s, head + GetRequest(origin.Port(), "/2", "Accept-Encoding: gzip\r\n") + GetRequest(origin.Port(), "/3"));
    const std::string expected =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\na\r\n<noscript>\r\n0\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\nc\r\n</noscript> "
        "\r\n0\r\n\r\n";
    EXPECT_EQ(TestRecvCount(s, expected.size()), expected);
    SockClose(s);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(heads.size(), 1u);
    // While the filter is on, no request asks for a compressed page.
    EXPECT_EQ(heads[0].find("Accept-Encoding"), std::string::npos) << heads[0];
}

TEST_F(ForwardingTest, AnswersThatCannotBeParsedPassUnchangedUntilTheServerCloses)
{
    const std::string broken[] = {
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12x\r\n\r\n<script>x</script>",
        // (A page whose chunks break after its head went out re-framed goes
        // on in chunks of the proxy's; the framer's own tests cover that.)
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n"
        "FFFFFFFFFFFFFFFFFFFFFFFF\r\n<script>",
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n Folded: line\r\n\r\n<script>",
    };
    CRecordingOrigin origin;
    WORD port = StartDirect();
    SetFilterSwitches(1, 1);
    for (const std::string& answer : broken) {
        origin.SetRawAnswerForAll(answer);
        EXPECT_EQ(FetchThroughProxy(port, GetRequest(origin.Port(), "/")), answer);
    }
}

TEST_F(ForwardingTest, LargeBinaryAnswerArrivesByteForByte)
{
    std::string body;
    body.reserve(600 * 1024);
    unsigned x = 12345;
    for (int i = 0; i < 600 * 1024; ++i) {
        x = x * 1103515245u + 12345u;
        body += static_cast<char>(x >> 24);
    }
    body += "<script>"; // filters off: stays as it is
    CRecordingOrigin origin("HTTP/1.0 200 OK\r\n\r\n" + body);
    WORD port = StartDirect();
    std::string answer = FetchThroughProxy(port, GetRequest(origin.Port(), "/big"));
    EXPECT_EQ(answer.size(), body.size() + 19);
    EXPECT_TRUE(answer == "HTTP/1.0 200 OK\r\n\r\n" + body);
}

TEST_F(ForwardingTest, BrowserClosingFirstEndsTheTargetConnection)
{
    std::atomic<int> sawEnd{0};
    CTestTcpServer origin([&](SOCKET_HANDLE s) {
        TestRecvHead(s);
        TestRecvAll(s); // returns when the proxy closes its side
        sawEnd.store(1);
    });
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, GetRequest(origin.Port(), "/"));
    SleepMs(50);
    SockClose(s);
    for (int i = 0; i < 500 && !sawEnd.load(); ++i) SleepMs(10);
    EXPECT_EQ(sawEnd.load(), 1);
}

TEST_F(ForwardingTest, KeptAliveRequestsFollowTheFirstThroughTheRelay)
{
    // The origin answers two requests on one connection.
    CTestTcpServer origin([](SOCKET_HANDLE s) {
        std::string rest;
        for (int i = 0; i < 2; ++i) {
            std::string head = rest.empty() ? TestRecvHead(s, &rest) : rest;
            if (head.empty()) return;
            rest.clear();
            TestSend(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nr" + std::to_string(i));
        }
    });
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, GetRequest(origin.Port(), "/1"));
    EXPECT_EQ(TestRecvCount(s, 40), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nr0");
    TestSend(s, GetRequest(origin.Port(), "/2", "Connection: close\r\n"));
    EXPECT_EQ(TestRecvAll(s), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nr1");
    SockClose(s);
}

TEST_F(ForwardingTest, WithoutUpstreamARequestForAnotherServerEndsTheConnectionAfterTheAnswer)
{
    CRecordingOrigin first("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst");
    CRecordingOrigin other;
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    // The second request, with its cookie, follows at once: it must not
    // reach the first server, and the first answer must still arrive whole.
    TestSend(s, GetRequest(first.Port(), "/1") + GetRequest(other.Port(), "/2", "Cookie: for=other\r\n"));
    EXPECT_EQ(TestRecvAll(s), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst");
    SockClose(s);
    ASSERT_EQ(first.Requests().size(), 1u);
    EXPECT_EQ(first.Requests()[0], OriginForm(GetRequest(first.Port(), "/1")));
    EXPECT_EQ(other.Accepted(), 0);
}

TEST_F(ForwardingTest, AServerThatKeepsItsSideOpenAfterTheLastRequestDoesNotHoldTheBrowser)
{
    std::atomic<int> closedByProxy{0};
    CTestTcpServer origin([&](SOCKET_HANDLE s) {
        TestRecvHead(s);
        TestSend(s, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ndone");
        // This server ignores "close": its side stays open until the proxy
        // ends the connection, or 20 s pass.
        char byte;
        if (SockWaitReadable(s, NO_SOCKET, 20000) == 1 && SockRecv(s, &byte, 1) == 0) closedByProxy = 1;
    });
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, GetRequest(origin.Port(), "/", "Connection: close\r\n"));
    EXPECT_EQ(TestRecvAll(s), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\ndone");
    SockClose(s);
    for (int i = 0; i < 500 && !closedByProxy.load(); ++i) SleepMs(10);
    EXPECT_EQ(closedByProxy.load(), 1);
}

TEST_F(ForwardingTest, HalfClosedBrowserGetsTheWholeAnswer)
{
    // A server that answers once the request's sender has finished (its end
    // of stream), with an answer larger than any one relay read.
    std::string body(300 * 1024, 'b');
    CTestTcpServer origin([&](SOCKET_HANDLE s) {
        TestRecvHead(s);
        TestRecvAll(s);
        TestSend(s, "HTTP/1.0 200 OK\r\n\r\n" + body);
    });
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    TestSend(s, GetRequest(origin.Port(), "/"));
    SockShutdownSend(s);
    std::string answer = TestRecvAll(s);
    SockClose(s);
    EXPECT_EQ(answer.size(), body.size() + 19);
    EXPECT_TRUE(answer == "HTTP/1.0 200 OK\r\n\r\n" + body);
}

TEST_F(ForwardingTest, ConcurrentConnectionsKeepTheirOwnDataAndCloseEverySocketOnce)
{
    CRecordingOrigin origin("HTTP/1.0 200 OK\r\n\r\n$PATH");
    WORD port = StartDirect();
    const long nBaseline = SockOpenCount();

    const int nClients = 24, nEach = 5;
    std::atomic<int> nGood{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < nClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < nEach; ++i) {
                std::string path = "/c" + std::to_string(c) + "/" + std::to_string(i);
                std::string request = GetRequest(origin.Port(), path);
                std::string answer = FetchThroughProxy(port, request);
                const std::string line = OriginForm(request);
                if (answer == "HTTP/1.0 200 OK\r\n\r\n" + line.substr(0, line.find("\r\n"))) nGood.fetch_add(1);
            }
        });
    }
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(nGood.load(), nClients * nEach);
    // Every connection's two sockets closed once: a leak would leave the
    // count above where it started, a second close would take it below.
    EXPECT_EQ(WaitForOpenSockets(nBaseline), nBaseline);
}

TEST_F(ForwardingTest, BulkBothWaysAtOnceArrivesWhole)
{
    // An upload while the server already streams its answer back: both of
    // the relay's sockets turn non-blocking, and each send has to wait for
    // room while the other direction keeps moving. More than the system's
    // socket buffers hold, in both directions.
    const size_t nSize = 16 * 1024 * 1024;
    std::string up(nSize, '\0'), down(nSize, '\0');
    unsigned x = 777;
    for (size_t i = 0; i < nSize; ++i) {
        x = x * 1103515245u + 12345u;
        up[i] = static_cast<char>(x >> 24);
        down[i] = static_cast<char>(x >> 16);
    }
    std::string received;
    CTestTcpServer origin([&](SOCKET_HANDLE s) {
        std::string rest;
        TestRecvHead(s, &rest);
        std::thread reader([&] { received = rest + TestRecvCount(s, nSize - rest.size()); });
        TestSend(s, "HTTP/1.0 200 OK\r\n\r\n" + down);
        reader.join();
    });
    WORD port = StartDirect();
    SOCKET_HANDLE s = TestConnect(port);
    ASSERT_NE(s, NO_SOCKET);
    const std::string target = "127.0.0.1:" + std::to_string(origin.Port());
    std::thread sender([&] {
        TestSend(s, "POST http://" + target + "/up HTTP/1.1\r\nHost: " + target +
                        "\r\nContent-Length: " + std::to_string(nSize) + "\r\n\r\n" + up);
    });
    std::string answer = TestRecvAll(s);
    sender.join();
    SockClose(s);
    EXPECT_EQ(received.size(), nSize);
    EXPECT_TRUE(received == up);
    ASSERT_EQ(answer.size(), nSize + 19);
    EXPECT_TRUE(answer == "HTTP/1.0 200 OK\r\n\r\n" + down);
}
