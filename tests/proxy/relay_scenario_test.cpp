// One browser connection through the proxy to an upstream that ends its
// connections in every way it may: after each answer, saying so or not
// (then the later ones are not waited for), in the middle of one, before
// answering a GET or a POST on a kept-alive connection; and the browser's
// last request. Each row checks what the browser's connection
// sees and what reached the upstream.
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// The upstream reads the path's words: "close" answers with
// "Connection: close" and ends its connection; "end" ends it after the
// answer without having said so; "cut" ends it in the middle
// of the body; "drop" ends it without a byte when the request is not the
// first on its connection; "linger" answers and keeps its side open until
// the proxy closes. Anything else is answered on a kept-alive connection.
class CScriptedUpstream {
public:
    CScriptedUpstream() : m_server([this](SOCKET_HANDLE s) { Serve(s); }) {}
    WORD Port() const { return m_server.Port(); }
    int Accepted() const { return m_server.Accepted(); }
    std::vector<std::string> Heads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heads;
    }

private:
    void Serve(SOCKET_HANDLE s)
    {
        std::string rest;
        for (int nOnConnection = 0;; ++nOnConnection) {
            std::string head = rest;
            if (head.find("\r\n\r\n") == std::string::npos)
                head += TestRecvHead(s, &rest);
            else
                rest = head.substr(head.find("\r\n\r\n") + 4), head.resize(head.find("\r\n\r\n") + 4);
            if (head.find("\r\n\r\n") == std::string::npos) return;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_heads.push_back(head);
            }
            const std::string path = head.substr(0, head.find(" HTTP/"));
            const std::string body = path.substr(path.rfind('/'));
            if (path.find("drop") != std::string::npos && nOnConnection > 0) return;
            if (path.find("cut") != std::string::npos) {
                TestSend(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + body);
                return;
            }
            const bool bClose = path.find("close") != std::string::npos;
            TestSend(s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                            (bClose ? "Connection: close\r\n" : "") + "\r\n" + body);
            if (bClose || path.find("end") != std::string::npos) return;
            if (path.find("linger") != std::string::npos) {
                TestRecvAll(s);
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::vector<std::string> m_heads;
    CTestTcpServer m_server; // last: its threads use the members above
};

struct CScenario {
    const char* pszName;
    std::vector<std::string> paths; // in turn on one browser connection; "POST " before a path posts it
    std::string lastExtra;          // extra header lines of the last request
    std::string expected;           // everything the browser receives, until the close when bCloses
    bool bCloses;                   // the proxy ends the browser's connection
    int nUpstreamConnections;       // with the one more request on a connection left open
    int nUpstreamHeads;
};

std::string Answer(const std::string& body, const char* pszConnection = "keep-alive")
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: " + pszConnection +
           "\r\n\r\n" + body;
}

std::vector<CScenario> Scenarios()
{
    const std::string plain = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";
    return {
        {"upstream closes after each answer: the browser's connection stays",
         {"/close/a", "/close/b", "/close/c"},
         "",
         Answer("/a") + Answer("/b") + Answer("/c"),
         false,
         4,
         4},
        // Learnt from the first close: the later connections are ended by
        // the proxy once their answer is through, or "/c" would go out on
        // the lingering one that reads and answers nothing more.
        {"upstream closes after each answer unannounced: later ones are closed by the proxy",
         {"/end/a", "/linger/b", "/c"},
         "",
         plain + "/a" + plain + "/b" + plain + "/c",
         false,
         4,
         4},
        {"upstream closes mid-answer: so does the browser's connection",
         {"/x", "/cut/y"},
         "",
         plain + "/x" + "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n/y",
         true,
         1,
         2},
        {"kept-alive upstream closes before answering a GET: sent once more",
         {"/a", "/drop/b", "/c"},
         "",
         plain + "/a" + plain + "/b" + plain + "/c",
         false,
         2,
         5},
        {"kept-alive upstream closes before answering a POST: not sent again",
         {"/a", "POST /drop/b"},
         "",
         plain + "/a",
         true,
         1,
         2},
        {"last request: its answer says close, and the proxy ends the connection",
         {"/a", "/linger/b"},
         "Connection: close\r\n",
         plain + "/a" + Answer("/b", "close"),
         true,
         1,
         2},
    };
}

} // namespace

TEST(RelayScenarioTest, WhatTheBrowserSeesWhenTheUpstreamEndsItsConnections)
{
    for (const CScenario& c : Scenarios()) {
        SCOPED_TRACE(c.pszName);
        CScriptedUpstream upstream;
        CLocalProxyServer proxy;
        const long nSockets = SockOpenCount();
        ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", upstream.Port(), "user", "pw"));
        SOCKET_HANDLE s = TestConnect(proxy.GetLocalPort());
        ASSERT_NE(s, NO_SOCKET);
        std::string received;
        for (size_t i = 0; i < c.paths.size(); ++i) {
            std::string path = c.paths[i];
            const bool bPost = path.compare(0, 5, "POST ") == 0;
            if (bPost) path = path.substr(5);
            std::string request = NamedGetRequest(upstream.Port(), path, i + 1 == c.paths.size() ? c.lastExtra : "");
            if (bPost) request = "POST" + request.substr(3, request.size() - 5) + "Content-Length: 2\r\n\r\nhi";
            ASSERT_TRUE(TestSend(s, request));
            // Each answer is in before the next request goes, as a browser
            // reuses a connection; a request that gets no answer ends the row.
            if (c.bCloses && i + 1 == c.paths.size()) break;
            const size_t nWant = c.expected.find("HTTP/1.1", received.size() + 1);
            received += TestRecvCount(s, (nWant == std::string::npos ? c.expected.size() : nWant) - received.size());
            // An upstream's unannounced close must have reached the proxy
            // before the next request, as it does for a browser that
            // reuses the connection a moment later; sent at once, the next
            // request may meet the close instead. Then only the listener's
            // two sockets, the browser's and the relay's side of it are open.
            if (path.find("/end/") != std::string::npos) {
                ASSERT_EQ(WaitForOpenSockets(nSockets + 4), nSockets + 4) << "the upstream's close was not seen";
            }
        }
        if (c.bCloses) received += TestRecvAll(s);
        EXPECT_EQ(received, c.expected);
        if (!c.bCloses) {
            // Still open: one more request on it is answered.
            const std::string more = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n/more";
            ASSERT_TRUE(TestSend(s, NamedGetRequest(upstream.Port(), "/more")));
            EXPECT_EQ(TestRecvCount(s, more.size()), more);
        }
        SockClose(s);
        proxy.Stop();
        // Every socket of the relay and of the connections it opened, closed once.
        EXPECT_EQ(WaitForOpenSockets(nSockets), nSockets);
        EXPECT_EQ(upstream.Accepted(), c.nUpstreamConnections);
        const std::vector<std::string> heads = upstream.Heads();
        EXPECT_EQ(static_cast<int>(heads.size()), c.nUpstreamHeads);
        // Every connection to the upstream, the first and those after it,
        // carries the account's authorization line.
        for (const std::string& head : heads)
            EXPECT_NE(head.find("Proxy-Authorization: Basic "), std::string::npos) << head;
    }
}
