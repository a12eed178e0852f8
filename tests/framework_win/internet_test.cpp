#include "framework/win/internet.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// One GET of a path on the loopback server, straight to it.
struct Get {
    CInternetSession session{nullptr, 1, INTERNET_OPEN_TYPE_DIRECT};
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpFile> file;

    Get(int port, const char* path)
    {
        connection.reset(
            session.GetHttpConnection("127.0.0.1", INTERNET_FLAG_KEEP_CONNECTION, static_cast<INTERNET_PORT>(port)));
        file.reset(connection->OpenRequest("GET", path, nullptr, 0, nullptr, nullptr,
                                           INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD |
                                               INTERNET_FLAG_NO_CACHE_WRITE));
        file->SendRequest();
    }
    ~Get()
    {
        file->Close();
        connection->Close();
        session.Close();
    }
};

} // namespace

TEST(HttpFileTest, LineReaderDropsEveryCrKeepsLfAndStopsAtTheEnd)
{
    CLoopbackHttpServer server;
    server.SetAnswer("/list", 200, "one\r\ntwo\nth\rree\r\n\r\nlast");
    Get get(server.Port(), "/list");
    DWORD status = 0;
    ASSERT_TRUE(get.file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 200u);

    char buffer[64];
    std::string pieces;
    while (LPTSTR p = get.file->ReadString(buffer, sizeof buffer)) {
        EXPECT_EQ(p, buffer);
        pieces += std::string(p) + "|";
    }
    EXPECT_EQ(pieces, "one\n|two\n|three\n|\n|last|");
    EXPECT_EQ(get.file->ReadString(buffer, sizeof buffer), nullptr) << "the end stays the end";
    EXPECT_EQ(get.file->GetBytesReceived(), 23u) << "the dropped CRs were received too";
}

TEST(HttpFileTest, LineReaderNeverWritesMoreThanTheBufferHolds)
{
    CLoopbackHttpServer server;
    server.SetAnswer("/long", 200, std::string(10, 'a') + "\n");
    Get get(server.Port(), "/long");
    char buffer[5];
    std::string pieces;
    while (LPTSTR p = get.file->ReadString(buffer, sizeof buffer)) {
        EXPECT_LE(std::string(p).size(), 4u);
        pieces += std::string(p) + "|";
    }
    EXPECT_EQ(pieces, "aaaa|aaaa|aa\n|");
}

TEST(HttpFileTest, WholeLineReaderAndPlainRead)
{
    CLoopbackHttpServer server;
    std::string big(10000, 'x');
    server.SetAnswer("/lines", 200, "alpha\r\n" + big + "\nomega");
    server.SetAnswer("/bytes", 200, big);
    {
        Get get(server.Port(), "/lines");
        CString line;
        ASSERT_TRUE(get.file->ReadString(line));
        EXPECT_EQ(line, "alpha");
        ASSERT_TRUE(get.file->ReadString(line));
        EXPECT_EQ(line.GetLength(), 10000) << "a line longer than any buffer comes whole";
        ASSERT_TRUE(get.file->ReadString(line));
        EXPECT_EQ(line, "omega");
        EXPECT_FALSE(get.file->ReadString(line));
    }
    {
        Get get(server.Port(), "/bytes");
        char buffer[632];
        std::string all;
        for (UINT n; (n = get.file->Read(buffer, sizeof buffer)) > 0;) {
            EXPECT_LE(n, sizeof buffer);
            all.append(buffer, n);
        }
        EXPECT_EQ(all, big);
    }
}

TEST(HttpFileTest, StatusAndHeadersOfAnErrorAnswer)
{
    CLoopbackHttpServer server; // every path is 404 until answered
    Get get(server.Port(), "/missing");
    DWORD status = 0;
    ASSERT_TRUE(get.file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 404u);
    CString type;
    ASSERT_TRUE(get.file->QueryInfo(HTTP_QUERY_CONTENT_TYPE, type));
    EXPECT_EQ(type, "text/plain");
    ASSERT_EQ(server.CountRequests("/missing"), 1);
    EXPECT_NE(server.Requests()[0].find("GET /missing HTTP/1.1\r\n"), std::string::npos);
}

TEST(InternetSessionTest, RefusedConnectionThrowsAnInternetException)
{
    int port = ClosedLoopbackPort();
    CInternetSession session(nullptr, 7, INTERNET_OPEN_TYPE_DIRECT);
    std::unique_ptr<CHttpConnection> connection(
        session.GetHttpConnection("127.0.0.1", INTERNET_FLAG_KEEP_CONNECTION, static_cast<INTERNET_PORT>(port)));
    EXPECT_EQ(connection->GetContext(), 7u) << "connections carry the session's context";
    std::unique_ptr<CHttpFile> file(connection->OpenRequest("GET", "/"));
    CInternetException* caught = nullptr;
    try {
        file->SendRequest();
    } catch (CInternetException* e) {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    EXPECT_TRUE(caught->IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_EQ(caught->m_dwError, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    char text[256];
    EXPECT_TRUE(caught->GetErrorMessage(text, sizeof text));
    EXPECT_NE(text[0], '\0');
    caught->Delete();
}

TEST(InternetSessionTest, AccessTypeChosenAtOpenIsTheSessionsRoute)
{
    CInternetSession direct(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
    CInternetSession proxied(nullptr, 1, INTERNET_OPEN_TYPE_PROXY, "127.0.0.1:3128");
    char buffer[512];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(proxied.QueryOption(INTERNET_OPTION_PROXY, buffer, &size));
    auto* info = reinterpret_cast<INTERNET_PROXY_INFO*>(buffer);
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    ASSERT_NE(info->lpszProxy, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(info->lpszProxy), "127.0.0.1:3128");
    size = sizeof buffer;
    ASSERT_TRUE(direct.QueryOption(INTERNET_OPTION_PROXY, buffer, &size));
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_DIRECT));
}
