// The proxy-generator request on its thread: one GET of the page, straight
// to the server, nothing cached; a server that never answers holds Stop no
// longer than the request's time-out.
#include "eventually.h"
#include "proxylist/proxy_gen_request_thread.h"
#include "url_cache_fill.h"

#include "proxylist/download.h"
#include "support/loopback_http_server.h"
#include "support/loopback_tcp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

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
    CSilentLoopbackListener silent;
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
