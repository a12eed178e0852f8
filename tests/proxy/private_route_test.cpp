// Through an upstream, a request for an address in the user's own network
// (here 127.0.0.1, where the test's origin listens) goes straight to it,
// and a name goes to the upstream as it stands, never looked up here (the
// name below resolves nowhere but in the SOCKS stand-in, and an HTTP
// upstream stand-in answers whatever it is asked). A kept-alive connection
// through the upstream carries no request for the own network, and a
// tunnel there is opened by the proxy itself. An IPv6 address of the own
// network ([::1] here) is reached the same way.
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"
#include "support/ipv6_loopback_origin.h"
#include "support/socks_stand_in.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kName = "only-the-upstream.invalid";

std::string NamedRequest(const std::string& path, const std::string& extra = "")
{
    return "GET http://" + kName + path + " HTTP/1.1\r\nHost: " + kName + "\r\n" + extra + "\r\n";
}

} // namespace

TEST(PrivateRouteTest, OwnNetworkAddressesGoDirectAndNamesGoUpstream)
{
    for (const EUpstreamKind eKind : {UPSTREAM_HTTP, UPSTREAM_SOCKS5}) {
        SCOPED_TRACE(eKind == UPSTREAM_HTTP ? "http upstream" : "socks5 upstream");
        CRecordingOrigin origin("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nlocal");
        CRecordingOrigin httpUpstream("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nafield");
        CSocksStandIn socks;
        CRecordingOrigin farOrigin("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nafield");
        socks.AddName(kName, farOrigin.Port());
        const WORD nUpstream = eKind == UPSTREAM_HTTP ? httpUpstream.Port() : socks.Port();
        const CString strUser = eKind == UPSTREAM_HTTP ? "cw" : "";
        CLocalProxyServer proxy;
        ASSERT_TRUE(proxy.Start(0, 1, "127.0.0.1", nUpstream, strUser, strUser, eKind));
        const WORD nPort = proxy.GetLocalPort();

        // The own network: the origin itself gets the request, in the form a
        // server expects and without the upstream's account.
        const std::string answer = FetchThroughProxy(nPort, GetRequest(origin.Port(), "/lan", "Connection: close\r\n"));
        EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nlocal");
        ASSERT_EQ(origin.RequestLines().size(), 1u);
        EXPECT_EQ(origin.RequestLines()[0], "GET /lan HTTP/1.1");
        EXPECT_EQ(origin.Requests()[0].find("Proxy-Authorization"), std::string::npos);

        // A name, then on the same connection the own network again: the
        // first goes to the upstream, the second is not carried, and the
        // connection ends after the answer asked for.
        SOCKET_HANDLE s = TestConnect(nPort);
        ASSERT_NE(s, NO_SOCKET);
        ASSERT_TRUE(TestSend(s, NamedRequest("/far") + GetRequest(origin.Port(), "/lan-again")));
        EXPECT_EQ(TestRecvAll(s), "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nafield");
        SockClose(s);
        if (eKind == UPSTREAM_HTTP) {
            ASSERT_EQ(httpUpstream.RequestLines().size(), 1u);
            EXPECT_EQ(httpUpstream.RequestLines()[0], "GET http://" + kName + "/far HTTP/1.1");
        } else {
            EXPECT_EQ(socks.Requests(), std::vector<std::string>{"5 " + kName + ":80"});
            EXPECT_EQ(farOrigin.RequestLines(), std::vector<std::string>{"GET /far HTTP/1.1"});
        }
        EXPECT_EQ(origin.RequestLines().size(), 1u);

        // A tunnel to the own network: opened here, bytes straight through.
        s = TestConnect(nPort);
        ASSERT_NE(s, NO_SOCKET);
        const std::string hostPort = "127.0.0.1:" + std::to_string(origin.Port());
        ASSERT_TRUE(TestSend(s, "CONNECT " + hostPort + " HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n"));
        EXPECT_EQ(TestRecvHead(s), "HTTP/1.1 200 Connection established\r\n\r\n");
        ASSERT_TRUE(TestSend(s, "GET /in-tunnel HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
        EXPECT_EQ(TestRecvAll(s), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nlocal");
        SockClose(s);
        ASSERT_EQ(origin.RequestLines().size(), 2u);
        EXPECT_EQ(origin.RequestLines()[1], "GET /in-tunnel HTTP/1.1");

        // An IPv6 address of the own network is reached as written too.
        CIPv6LoopbackOrigin v6Origin("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nv6");
        ASSERT_NE(v6Origin.Port(), 0) << "no IPv6 loopback here";
        const std::string v6HostPort = "[::1]:" + std::to_string(v6Origin.Port());
        EXPECT_EQ(FetchThroughProxy(nPort, "GET http://" + v6HostPort + "/v6 HTTP/1.1\r\nHost: " + v6HostPort +
                                               "\r\nConnection: close\r\n\r\n"),
                  "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nv6");
        ASSERT_EQ(v6Origin.Heads().size(), 1u);
        EXPECT_EQ(v6Origin.Heads()[0].substr(0, v6Origin.Heads()[0].find("\r\n")), "GET /v6 HTTP/1.1");

        EXPECT_EQ(httpUpstream.Accepted() + static_cast<int>(socks.Requests().size()), 1);
        // Nothing was asked of the resolver: neither the name nor an address.
        EXPECT_EQ(SockLookupsOf(kName.c_str()), 0);
        EXPECT_EQ(SockLookupsOf("[::1]") + SockLookupsOf("::1"), 0);
        proxy.Stop();
    }
}
