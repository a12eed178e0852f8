// The URL-cache jobs on the prefix's real cache, filled with every kind of
// entry: each job removes its own kind and leaves the others.
#include "cleaner/url_cache_cleaner.h"
#include "url_cache_fill.h"

#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The kinds of trace a browser leaves, made the ways a browser makes them.
struct Traces {
    std::vector<std::string> content; // temporary Internet files
    std::vector<std::string> cookies;
    std::vector<std::string> visited;
    // Content-container entries whose type word carries the cookie bit: the
    // temporary-files job must leave them, only the delete-all job takes them.
    std::vector<std::string> cookieTyped;
};

// An ordinary GET: Wine's WinINet writes it into the cache by itself.
bool FetchIntoCache(const std::string& url)
{
    HINTERNET hNet = InternetOpenA("cleaner-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!hNet) return false;
    HINTERNET hUrl = InternetOpenUrlA(hNet, url.c_str(), "Connection: close\r\n", DWORD(-1), INTERNET_FLAG_RELOAD, 0);
    bool ok = hUrl != nullptr;
    if (hUrl) {
        char buffer[1024];
        DWORD cb = 0;
        while (InternetReadFile(hUrl, buffer, sizeof buffer, &cb) && cb) {
        }
        InternetCloseHandle(hUrl);
    }
    InternetCloseHandle(hNet);
    return ok;
}

class UrlCacheCleanerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        urlcache::Clear();
        ASSERT_TRUE(m_server.IsListening());
        m_server.SetAnswer("/page.html", 200, "<html>a page</html>");

        const std::string origin = "http://" + m_server.HostPort();
        m_traces.content = {"http://127.0.0.1/job/style.css", "http://127.0.0.1/job/logo.gif"};
        for (const auto& url : m_traces.content) ASSERT_TRUE(urlcache::Add(url));
        ASSERT_TRUE(FetchIntoCache(origin + "/page.html"));
        ASSERT_TRUE(urlcache::Exists(origin + "/page.html")) << "Wine no longer caches plain GETs";
        m_traces.content.push_back(origin + "/page.html");
        // A sticky content entry is still a temporary file.
        ASSERT_TRUE(urlcache::Add("http://127.0.0.1/job/sticky", NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY));
        m_traces.content.push_back("http://127.0.0.1/job/sticky");

        ASSERT_TRUE(urlcache::SetPersistentCookie("http://127.0.0.1/", "session"));
        m_traces.cookies.push_back(urlcache::CookieUrl("127.0.0.1"));
        ASSERT_TRUE(urlcache::Add(urlcache::CookieUrl("cookies.test"), COOKIE_CACHE_ENTRY));
        m_traces.cookies.push_back(urlcache::CookieUrl("cookies.test"));

        for (const char* page : {"http://127.0.0.1/job/one", "http://127.0.0.1/job/two"}) {
            ASSERT_TRUE(urlcache::Add(urlcache::VisitedUrl(page), URLHISTORY_CACHE_ENTRY));
            m_traces.visited.push_back(urlcache::VisitedUrl(page));
        }

        ASSERT_TRUE(urlcache::Add("http://127.0.0.1/job/cookie-typed", COOKIE_CACHE_ENTRY));
        m_traces.cookieTyped.push_back("http://127.0.0.1/job/cookie-typed");

        for (const auto* kind : Kinds())
            for (const auto& url : *kind) ASSERT_TRUE(urlcache::Exists(url)) << url;
    }
    void TearDown() override { urlcache::Clear(); }

    std::vector<const std::vector<std::string>*> Kinds() const
    {
        return {&m_traces.content, &m_traces.cookies, &m_traces.visited, &m_traces.cookieTyped};
    }

    // Which of the four kinds are still in the cache, entry by entry.
    void ExpectPresent(bool bContent, bool bCookies, bool bVisited, bool bCookieTyped) const
    {
        const bool present[] = {bContent, bCookies, bVisited, bCookieTyped};
        const auto kinds = Kinds();
        for (size_t k = 0; k < kinds.size(); ++k)
            for (const auto& url : *kinds[k]) EXPECT_EQ(present[k], urlcache::Exists(url)) << url;
    }

    CLoopbackHttpServer m_server;
    Traces m_traces;
    CUrlCacheCleaner m_cleaner;
};

TEST_F(UrlCacheCleanerTest, DeleteCookiesTakesOnlyTheCookieContainer)
{
    m_cleaner.DeleteCookies();
    ExpectPresent(true, false, true, true);
}

TEST_F(UrlCacheCleanerTest, DeleteHistoryEntriesTakesOnlyVisitedPages)
{
    m_cleaner.DeleteHistoryEntries();
    ExpectPresent(true, true, false, true);
}

TEST_F(UrlCacheCleanerTest, DeleteTemporaryFilesLeavesCookieAndHistoryTypedEntries)
{
    m_cleaner.DeleteTemporaryFiles();
    ExpectPresent(false, true, true, true);
}

TEST_F(UrlCacheCleanerTest, DeleteAllEntriesTakesEverything)
{
    m_cleaner.DeleteAllEntries();
    // Wine lists every container for the null pattern; Windows only the
    // content one, where the cookie-typed entry lives.
    EXPECT_FALSE(urlcache::Exists(m_traces.cookieTyped[0]));
    for (const auto& url : m_traces.content) EXPECT_FALSE(urlcache::Exists(url)) << url;
}

// Counts the questions and answers "stop" from the nth on.
class CStopAfter : public CStopCheck {
public:
    explicit CStopAfter(int n) : m_nLeft(n) {}
    BOOL StopRequested() const override { return --m_nLeft <= 0; }
    mutable int m_nLeft;
};

TEST_F(UrlCacheCleanerTest, JobToldToStopEndsBetweenTwoEntries)
{
    urlcache::Clear();
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(urlcache::Add("http://127.0.0.1/job/stop" + std::to_string(i)));
    CStopAfter stopAfterThree(3);
    m_cleaner.DeleteTemporaryFiles(&stopAfterThree);
    EXPECT_EQ(7u, urlcache::List(nullptr).size());
}

TEST(UrlCacheEntryTest, DeleteEntryTellsWhetherThePlatformDeletedIt)
{
    urlcache::Clear();
    const std::string url = "http://127.0.0.1/job/delete-entry";
    ASSERT_TRUE(urlcache::Add(url));
    INTERNET_CACHE_ENTRY_INFOA entry = {};
    entry.lpszSourceUrlName = const_cast<char*>(url.c_str());
    EXPECT_TRUE(CUrlCacheCleaner::DeleteEntry(&entry));
    EXPECT_FALSE(urlcache::Exists(url));
    EXPECT_FALSE(CUrlCacheCleaner::DeleteEntry(&entry)) << "a second delete finds nothing";
}

} // namespace
