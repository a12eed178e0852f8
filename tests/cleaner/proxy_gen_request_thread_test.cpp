// The proxy-generator request on its thread: one GET of the page, straight
// to the server, nothing cached; a server that never answers holds Stop no
// longer than the request's time-out.
#include <winsock2.h>

#include "cleaner/proxy_gen_request_thread.h"
#include "eventually.h"
#include "url_cache_fill.h"

#include "proxylist/download.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A port on 127.0.0.1 whose listener takes connections into its backlog and
// never accepts or answers them.
class CSilentListener {
public:
    CSilentListener()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof sa;
        if (bind(m_sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(m_sock, 8) == 0 &&
            getsockname(m_sock, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
            m_nPort = ntohs(sa.sin_port);
    }
    ~CSilentListener()
    {
        closesocket(m_sock);
        WSACleanup();
    }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }
    int Port() const { return m_nPort; }

private:
    SOCKET m_sock;
    int m_nPort = 0;
};

TEST(ProxyGenRequestThreadTest, OneDirectUncachedRequestOfThePage)
{
    urlcache::Clear();
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.IsListening());
    server.SetAnswer(PROXY_GEN_PATH, 200, "generated");

    CProxyGenRequestThread thread;
    ASSERT_TRUE(thread.Start(server.HostPort().c_str()));
    ASSERT_TRUE(Eventually([&] { return server.CountRequests(PROXY_GEN_PATH) == 1; }));
    thread.Stop();
    EXPECT_EQ(0u, thread.GetExitCode());
    ASSERT_EQ(1u, server.RequestLines().size());
    EXPECT_EQ("GET " PROXY_GEN_PATH " HTTP/1.1", server.RequestLines()[0]);
    EXPECT_NE(std::string::npos, server.Requests()[0].find("Connection: close"));
    EXPECT_FALSE(urlcache::Exists("http://" + server.HostPort() + PROXY_GEN_PATH));

    // A failed request ends the same way.
    ASSERT_TRUE(thread.Start(("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str()));
    thread.Stop();
    EXPECT_EQ(0u, thread.GetExitCode());
}

TEST(ProxyGenRequestThreadTest, SilentServerHoldsStopOnlyUntilTheTimeOut)
{
    CSilentListener silent;
    ASSERT_NE(0, silent.Port());
    CProxyGenRequestThread thread(1000);
    ASSERT_TRUE(thread.Start(silent.HostPort().c_str()));
    // Let the request reach its receive before stopping.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Without the time-out this Stop waits for ever and the test's own
    // time-out fails it.
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(0u, thread.GetExitCode());
}

} // namespace
