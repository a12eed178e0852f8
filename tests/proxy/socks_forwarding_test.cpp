// The local proxy through each kind of upstream, with a stand-in SOCKS server
// on loopback that alone knows the names asked for: what the browser's
// connection sees for a plain request and a tunnel, granted or refused, and
// the relay's usual work (kept-alive connections, new upstream connections,
// the self-loop refusal) through SOCKS. Runs natively and, in the Windows
// build, under Wine.
#include "proxy/local_proxy_server.h"
#include "proxy_test_peers.h"
#include "proxylist/upstream_address.h"
#include "support/socks_stand_in.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Nothing on the machine resolves it: a request that gets through was
// handed to the SOCKS server by name.
const std::string kName = "only-the-socks-server.invalid";
const std::string kHostPort = kName + ":81";

const std::string kPlain =
    "GET http://" + kHostPort + "/page?q=1 HTTP/1.1\r\nHost: " + kHostPort + "\r\nConnection: close\r\n\r\n";
const std::string kConnect = "CONNECT " + kHostPort + " HTTP/1.1\r\nHost: " + kHostPort + "\r\n\r\n";
const std::string kAnswer = "HTTP/1.0 200 OK\r\n\r\nhello";

struct CRow {
    const char* pszName;
    const char* pszScheme;  // of the entry the proxy is started with
    const char* pszAccount; // "user:password@", or empty
    bool bStandInWantsAccount;
    int nRefuse;               // the stand-in's answer to the connect request, 0 to grant
    const char* pszRefusal;    // words on the 502 page, null when granted
    const char* pszStandInSaw; // its connect request, "" for an HTTP upstream
};

std::vector<CRow> Rows()
{
    std::vector<CRow> rows = {
        {"http proxy", "", "", false, 0, nullptr, ""},
        {"socks4a", "socks4a://", "", false, 0, nullptr, "4 "},
        {"socks4 goes as 4a", "socks4://", "", false, 0, nullptr, "4 "},
        {"socks5", "socks5://", "", false, 0, nullptr, "5 "},
        {"socks5h", "socks5h://", "", false, 0, nullptr, "5 "},
        {"socks5 with account", "socks5://", "cw:pw@", true, 0, nullptr, "5 "},
        {"socks5 refused account", "socks5://", "cw:wrong@", true, 0, "the proxy refused the account", ""},
        {"socks5 account wanted", "socks5://", "", true, 0, "the proxy wants an account", ""},
        {"socks4a refused", "socks4a://", "", false, 1, "request rejected or failed", "4 "},
    };
    const char* texts[] = {"general failure",    "not allowed", "network unreachable",   "host unreachable",
                           "connection refused", "TTL expired", "command not supported", "address type not supported"};
    for (int code = 1; code <= 8; ++code)
        rows.push_back({"socks5 refusal", "socks5://", "", false, code, texts[code - 1], "5 "});
    return rows;
}

class SocksForwardingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WaitForOpenSockets(0), 0) << "sockets of an earlier test are still open"; }
    void TearDown() override { m_proxy.Stop(); }

    // Started as the dialog starts it: from an entry of the list.
    void Start(const std::string& strEntry)
    {
        CUpstreamConfig upstream;
        ASSERT_TRUE(UpstreamFromAddress(strEntry.c_str(), upstream)) << strEntry;
        ASSERT_TRUE(m_proxy.Start(0, 1, upstream.strUpstreamHost, upstream.nUpstreamPort, upstream.strProxyUser,
                                  upstream.strProxyPassword, upstream.eKind));
    }

    CLocalProxyServer m_proxy;
};

} // namespace

TEST_F(SocksForwardingTest, EachUpstreamKindForAPlainRequestAndATunnel)
{
    for (const CRow& row : Rows()) {
        for (bool bTunnel : {false, true}) {
            SCOPED_TRACE(std::string(row.pszName) + (bTunnel ? ", tunnel" : ", plain") + " " +
                         std::to_string(row.nRefuse));
            CRecordingOrigin origin;
            CSocksStandIn socks;
            socks.AddName(kName, origin.Port());
            if (row.bStandInWantsAccount) socks.RequireAccount("cw", "pw");
            socks.RefuseWith(row.nRefuse);
            // The HTTP proxy is a recording server: it answers every request.
            const bool bHttp = !*row.pszScheme;
            Start(std::string(row.pszScheme) + row.pszAccount +
                  "127.0.0.1:" + std::to_string(bHttp ? origin.Port() : socks.Port()));

            SOCKET_HANDLE s = TestConnect(m_proxy.GetLocalPort());
            ASSERT_NE(s, NO_SOCKET);
            TestSend(s, bTunnel ? kConnect : kPlain);
            std::string seen;
            if (bTunnel && !row.pszRefusal && !bHttp) {
                EXPECT_EQ(TestRecvHead(s), "HTTP/1.1 200 Connection established\r\n\r\n");
                TestSend(s, "GET /t HTTP/1.0\r\n\r\n");
            }
            seen = TestRecvAll(s);
            SockClose(s);

            if (row.pszRefusal) {
                EXPECT_EQ(seen.compare(0, 13, "HTTP/1.1 502 "), 0) << seen;
                EXPECT_NE(seen.find(row.pszRefusal), std::string::npos) << seen;
                EXPECT_TRUE(origin.Requests().empty());
            } else {
                EXPECT_EQ(seen, kAnswer);
                ASSERT_EQ(origin.Requests().size(), 1u);
                std::string expected =
                    bTunnel ? "GET /t HTTP/1.0\r\n\r\n"
                            : "GET /page?q=1 HTTP/1.1\r\nHost: " + kHostPort + "\r\nConnection: close\r\n\r\n";
                // An HTTP proxy gets the request (or the CONNECT) as the browser sent it.
                if (bHttp) expected = bTunnel ? kConnect : kPlain;
                EXPECT_EQ(origin.Requests()[0], expected);
            }
            const std::vector<std::string> asked = socks.Requests();
            if (*row.pszStandInSaw) {
                ASSERT_EQ(asked.size(), 1u);
                EXPECT_EQ(asked[0], row.pszStandInSaw + kHostPort);
            } else {
                EXPECT_TRUE(asked.empty());
            }
            m_proxy.Stop();
        }
    }
}

TEST_F(SocksForwardingTest, KeptAliveConnectionGetsASocksConnectionPerServerAndOutlivesThem)
{
    // Each origin answers once per connection and closes it.
    CRecordingOrigin first("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst");
    CRecordingOrigin second("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond");
    CSocksStandIn socks;
    socks.AddName("first.invalid", first.Port());
    socks.AddName("second.invalid", second.Port());
    Start("socks5://127.0.0.1:" + std::to_string(socks.Port()));

    SOCKET_HANDLE s = TestConnect(m_proxy.GetLocalPort());
    ASSERT_NE(s, NO_SOCKET);
    const char* order[] = {"first.invalid", "second.invalid", "first.invalid"};
    for (const char* pszHost : order) {
        const std::string host = pszHost;
        TestSend(s, "GET http://" + host + "/x HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
        std::string body;
        std::string head = TestRecvHead(s, &body);
        EXPECT_EQ(head.compare(0, 15, "HTTP/1.1 200 OK"), 0) << head;
        const std::string want = host == "first.invalid" ? "first" : "second";
        body += TestRecvCount(s, want.size() - body.size());
        EXPECT_EQ(body, want);
    }
    // The last request ends the browser's connection.
    TestSend(s, "GET http://second.invalid/y HTTP/1.1\r\nHost: second.invalid\r\nConnection: close\r\n\r\n");
    std::string last = TestRecvAll(s);
    EXPECT_NE(last.find("second"), std::string::npos);
    SockClose(s);

    const std::vector<std::string> expected = {"5 first.invalid:80", "5 second.invalid:80", "5 first.invalid:80",
                                               "5 second.invalid:80"};
    EXPECT_EQ(socks.Requests(), expected);
    ASSERT_EQ(first.Requests().size(), 2u);
    EXPECT_EQ(first.Requests()[1], "GET /x HTTP/1.1\r\nHost: first.invalid\r\n\r\n");
    EXPECT_EQ(second.Requests().size(), 2u);
}

TEST_F(SocksForwardingTest, ARequestForTheProxyItselfNeverReachesTheSocksServer)
{
    CSocksStandIn socks;
    Start("socks5://127.0.0.1:" + std::to_string(socks.Port()));
    const std::string self = "127.0.0.1:" + std::to_string(m_proxy.GetLocalPort());
    EXPECT_EQ(
        FetchThroughProxy(m_proxy.GetLocalPort(), "GET http://" + self + "/ HTTP/1.1\r\nHost: " + self + "\r\n\r\n"),
        "");
    EXPECT_EQ(FetchThroughProxy(m_proxy.GetLocalPort(), "CONNECT " + self + " HTTP/1.1\r\nHost: " + self + "\r\n\r\n"),
              "");
    EXPECT_TRUE(socks.Requests().empty());
}
