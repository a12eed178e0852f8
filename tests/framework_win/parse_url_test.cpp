#include "framework/win/parse_url.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    BOOL ok;
    DWORD service;
    CString server;
    CString object;
    INTERNET_PORT port;
};

Parsed Parse(const char* url)
{
    Parsed p;
    p.ok = AfxParseURL(url, p.service, p.server, p.object, p.port);
    return p;
}

} // namespace

TEST(ParseUrlTest, SplitsServiceServerObjectAndPort)
{
    Parsed p = Parse("http://update.example.invalid/licensing/ProxyGenerator/proxylist.txt");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.service, static_cast<DWORD>(AFX_INET_SERVICE_HTTP));
    EXPECT_EQ(p.server, "update.example.invalid");
    EXPECT_EQ(p.object, "/licensing/ProxyGenerator/proxylist.txt");
    EXPECT_EQ(p.port, 80);

    p = Parse("http://127.0.0.1:8081/bandwidthchecker/dlsample1.gif");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.server, "127.0.0.1");
    EXPECT_EQ(p.port, 8081) << "the port the URL names";
    EXPECT_EQ(p.object, "/bandwidthchecker/dlsample1.gif");
}

TEST(ParseUrlTest, ObjectIsAtLeastSlashAndKeepsTheQuery)
{
    Parsed p = Parse("http://host");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.object, "/");
    p = Parse("http://host:99/ProxyGen.asp?id=7");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.object, "/ProxyGen.asp?id=7");
    EXPECT_EQ(p.port, 99);
}

TEST(ParseUrlTest, OtherServicesAndNonUrls)
{
    Parsed p = Parse("https://host/x");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.service, static_cast<DWORD>(AFX_INET_SERVICE_HTTPS));
    EXPECT_EQ(p.port, 443);
    p = Parse("ftp://host/x");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.service, static_cast<DWORD>(AFX_INET_SERVICE_FTP));

    for (const char* bad : {"", "not a url", "host/path", "http://"}) {
        p = Parse(bad);
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(p.service, static_cast<DWORD>(AFX_INET_SERVICE_UNK)) << bad;
        EXPECT_TRUE(p.server.IsEmpty()) << bad;
    }
}
