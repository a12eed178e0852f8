// Splitting, target choice and rebuilding of the first request head.
#include "proxy/internal/connection_handler.h"
#include "proxy/internal/request_head.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CRequestHead Parse(const std::string& text)
{
    CRequestHead head;
    ParseRequestHead(CString(text), head);
    return head;
}

std::string Rebuild(const CRequestHead& head, LPCTSTR pszAuth = nullptr)
{
    return RebuildRequestHead(head, pszAuth).str();
}

CUpstreamConfig Upstream(const char* host, WORD port)
{
    CUpstreamConfig c;
    c.bUseUpstream = TRUE;
    c.strUpstreamHost = host;
    c.nUpstreamPort = port;
    return c;
}

} // namespace

TEST(RequestHeadTest, AbsoluteUrlRequestGoesToTheUpstreamProxyUnchanged)
{
    const std::string request = "GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n\r\n";
    CRequestHead head = Parse(request);
    EXPECT_STREQ(head.m_strRequestLine, "GET http://198.51.100.5/ HTTP/1.1");
    EXPECT_EQ(Rebuild(head), request);

    CString host;
    int port = 0;
    ChooseTarget(Upstream("192.0.2.7", 3128), head, host, port);
    EXPECT_STREQ(host, "192.0.2.7");
    EXPECT_EQ(port, 3128);
}

TEST(RequestHeadTest, WithoutUpstreamTheHostHeaderNamesTheTarget)
{
    CUpstreamConfig direct;
    CString host;
    int port = 0;

    ChooseTarget(direct, Parse("GET http://198.51.100.5/ HTTP/1.1\r\nHost: 198.51.100.5\r\n\r\n"), host, port);
    EXPECT_STREQ(host, "198.51.100.5");
    EXPECT_EQ(port, 80);

    ChooseTarget(direct, Parse("GET / HTTP/1.1\r\nHost: 198.51.100.5:8000\r\n\r\n"), host, port);
    EXPECT_STREQ(host, "198.51.100.5");
    EXPECT_EQ(port, 8000);

    // No Host header and no upstream: nowhere to go.
    ChooseTarget(direct, Parse("GET / HTTP/1.0\r\nAccept: */*\r\n\r\n"), host, port);
    EXPECT_TRUE(host.IsEmpty());
    EXPECT_EQ(port, 0);
}

TEST(RequestHeadTest, HostPortIsReadLikeAtoiAndALaterHostWins)
{
    CRequestHead head = Parse("GET / HTTP/1.1\r\nHost: a.example:81\r\nHost: b.example: +8080x\r\n\r\n");
    EXPECT_STREQ(head.m_strHost, "b.example");
    EXPECT_EQ(head.m_nPort, 8080);

    head = Parse("GET / HTTP/1.1\r\nHost: c.example:\r\n\r\n");
    EXPECT_STREQ(head.m_strHost, "c.example");
    EXPECT_EQ(head.m_nPort, 0);

    // Trailing blanks are not part of the host name.
    head = Parse("GET / HTTP/1.1\r\nHost: d.example \t\r\n\r\n");
    EXPECT_STREQ(head.m_strHost, "d.example");
    EXPECT_EQ(head.m_nPort, 80);

    // A digit run too long for an int does not overflow into a valid port.
    head = Parse("GET / HTTP/1.1\r\nHost: e.example:99999999999999999999\r\n\r\n");
    EXPECT_GT(head.m_nPort, 0xFFFF);
}

TEST(RequestHeadTest, HostNameIsMatchedWhateverItsCase)
{
    CRequestHead head = Parse("GET / HTTP/1.1\r\nhost: 198.51.100.5\r\n\r\n");
    EXPECT_STREQ(head.m_strHost, "198.51.100.5");
    head = Parse("GET / HTTP/1.1\r\nHOST: 198.51.100.6:81\r\n\r\n");
    EXPECT_STREQ(head.m_strHost, "198.51.100.6");
    EXPECT_EQ(head.m_nPort, 81);
    // Only the whole name counts.
    head = Parse("GET / HTTP/1.1\r\nX-Host: 198.51.100.7\r\n\r\n");
    EXPECT_TRUE(head.m_strHost.IsEmpty());
}

TEST(RequestHeadTest, OriginFormDropsTheSchemeAndAuthorityOfAnHttpUrlOnly)
{
    const struct {
        const char* pszLine;
        const char* pszOriginForm;
    } cases[] = {
        {"GET http://127.0.0.1:8000/a/b?c=d HTTP/1.1", "GET /a/b?c=d HTTP/1.1"},
        {"GET HTTP://Example.ORG HTTP/1.0", "GET / HTTP/1.0"},
        {"HEAD http://h?q=1 HTTP/1.1", "HEAD /?q=1 HTTP/1.1"},
        {"POST http://user@h:81/x HTTP/1.1", "POST /x HTTP/1.1"},
        {"GET http://h/", "GET /"},
        {"GET /already HTTP/1.1", "GET /already HTTP/1.1"},
        {"CONNECT 127.0.0.1:443 HTTP/1.1", "CONNECT 127.0.0.1:443 HTTP/1.1"},
        {"GET https://h/x HTTP/1.1", "GET https://h/x HTTP/1.1"},
        {"GET ftp://h/x HTTP/1.1", "GET ftp://h/x HTTP/1.1"},
        {"GET http:/ HTTP/1.1", "GET http:/ HTTP/1.1"},
        {"garbage", "garbage"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(OriginFormRequestLine(c.pszLine), c.pszOriginForm) << c.pszLine;
}

TEST(RequestHeadTest, HeadWithANulInAHostValueIsRefused)
{
    using namespace std::string_literals;
    struct Case {
        std::string text;
        BOOL bForwarded;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\0.evil:81\r\n\r\n"s, FALSE},
        {"GET / HTTP/1.1\r\nHost: good:80\r\nhost: a\0b\r\n\r\n"s, FALSE},
        {"GET / HTTP/1.1\r\nHost: \0\r\n\r\n"s, FALSE},
        // A NUL elsewhere misleads nobody about where the request goes.
        {"GET / HTTP/1.1\r\nHost: h:81\r\nCookie: a\0b\r\n\r\n"s, TRUE},
        {"GET /\0 HTTP/1.1\r\nHost: h:81\r\n\r\n"s, TRUE},
    };
    for (const Case& c : cases) {
        CRequestHead head;
        EXPECT_EQ(ParseRequestHead(CString(c.text), head), c.bForwarded) << c.text;
    }
}

TEST(RequestHeadTest, ValueStartsAfterTheColonAndItsBlanks)
{
    CRequestHead head = Parse("GET / HTTP/1.1\r\nAccept:text/html\r\nX-A:  \t two\r\nX-Empty:\r\nX-B: a: b\r\n\r\n");
    ASSERT_EQ(head.m_headers.GetSize(), 4);
    EXPECT_STREQ(head.m_headers[0].m_strValue, "text/html");
    EXPECT_STREQ(head.m_headers[3].m_strName, "X-B");
    EXPECT_STREQ(head.m_headers[3].m_strValue, "a: b");
    EXPECT_EQ(Rebuild(head), "GET / HTTP/1.1\r\nAccept: text/html\r\nX-A: two\r\nX-Empty: \r\nX-B: a: b\r\n\r\n");
}

TEST(RequestHeadTest, LineWithoutColonGoesOutAsItCame)
{
    CRequestHead head = Parse("GET / HTTP/1.1\r\nHost: h\r\nno colon here\r\n folded\r\n\r\n");
    ASSERT_EQ(head.m_headers.GetSize(), 3);
    EXPECT_FALSE(head.m_headers[1].m_bHasColon);
    EXPECT_EQ(Rebuild(head), "GET / HTTP/1.1\r\nHost: h\r\nno colon here\r\n folded\r\n\r\n");
}

TEST(RequestHeadTest, DuplicatesAndOrderAreKeptAndTheAuthLineGoesLast)
{
    const std::string request =
        "CONNECT 127.0.0.1:443 HTTP/1.1\r\nCookie: a=1\r\nHost: 127.0.0.1:443\r\nCookie: b=2\r\n\r\n";
    CRequestHead head = Parse(request);
    EXPECT_STREQ(head.m_strRequestLine, "CONNECT 127.0.0.1:443 HTTP/1.1");
    EXPECT_EQ(head.m_nPort, 443);
    EXPECT_EQ(Rebuild(head, "Proxy-Authorization: Basic dTpw\r\n"),
              "CONNECT 127.0.0.1:443 HTTP/1.1\r\nCookie: a=1\r\nHost: 127.0.0.1:443\r\nCookie: b=2\r\n"
              "Proxy-Authorization: Basic dTpw\r\n\r\n");
}

TEST(RequestHeadTest, EndOfHeadIsFoundWhereverTheReadsSplitIt)
{
    const std::string request = "GET / HTTP/1.1\r\nHost: h\r\n\r\nBODY";
    const int nHead = static_cast<int>(request.size()) - 4;
    EXPECT_EQ(FindRequestHeadEnd(request.data(), static_cast<int>(request.size())), nHead);
    // Fed a growing prefix, searching only what is new each time, the end is
    // found exactly when its last byte arrives.
    int nFound = 0, nAt = 0;
    for (int n = 1; n <= static_cast<int>(request.size()) && !nFound; ++n) {
        nFound = FindRequestHeadEnd(request.data(), n, n - 1);
        nAt = n;
    }
    EXPECT_EQ(nFound, nHead);
    EXPECT_EQ(nAt, nHead);

    EXPECT_EQ(FindRequestHeadEnd("GET / HTTP/1.1\r\nHost: h\r\n", 25), 0);
    EXPECT_EQ(FindRequestHeadEnd("\r", 1), 0);
}

TEST(RequestHeadTest, EmptyLinesBeforeTheRequestLineAreSkipped)
{
    // Not a head yet: only empty lines so far.
    EXPECT_EQ(FindRequestHeadEnd("\r\n\r\n\r\n", 6), 0);
    const std::string request = "\r\n\r\nGET / HTTP/1.1\r\nHost: h\r\n\r\n";
    const int n = static_cast<int>(request.size());
    EXPECT_EQ(FindRequestHeadEnd(request.data(), n), n);
    // Searching only the new bytes never mistakes the skipped lines for the end.
    EXPECT_EQ(FindRequestHeadEnd(request.data(), 6, 4), 0);
    EXPECT_EQ(FindRequestHeadEnd(request.data(), n, 6), n);

    CRequestHead head = Parse(request);
    EXPECT_STREQ(head.m_strRequestLine, "GET / HTTP/1.1");
    EXPECT_EQ(Rebuild(head), "GET / HTTP/1.1\r\nHost: h\r\n\r\n");
}
