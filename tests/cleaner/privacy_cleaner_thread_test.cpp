// The cleaner thread on the prefix's real cache and registry: a pass runs
// the switched-on jobs as soon as the thread starts, and Stop in the middle
// of a long pass returns with no job of the old thread running afterwards.
#include "cleaner/privacy_cleaner_thread.h"
#include "eventually.h"
#include "url_cache_fill.h"

#include "support/raw_registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

const char kTypedKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
// Far longer than any test: a pass seen within it is the one a start begins.
const DWORD kLongInterval = 10 * 60 * 1000;

class PrivacyCleanerThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        urlcache::Clear();
        rawreg::DeleteTree(HKEY_CURRENT_USER, kTypedKey);
    }
    void TearDown() override
    {
        urlcache::Clear();
        rawreg::DeleteTree(HKEY_CURRENT_USER, kTypedKey);
    }
};

TEST_F(PrivacyCleanerThreadTest, FirstPassRunsAtOnceWithTheSwitchesSet)
{
    const std::string content = "http://127.0.0.1/thread/page";
    const std::string cookie = urlcache::CookieUrl("thread.test");
    const std::string visited = urlcache::VisitedUrl("http://127.0.0.1/thread/page");
    // Only the delete-all job takes a content entry typed as a cookie.
    const std::string cookieTyped = "http://127.0.0.1/thread/cookie-typed";
    auto fill = [&] {
        ASSERT_TRUE(urlcache::Add(content));
        ASSERT_TRUE(urlcache::Add(cookie, COOKIE_CACHE_ENTRY));
        ASSERT_TRUE(urlcache::Add(visited, URLHISTORY_CACHE_ENTRY));
        ASSERT_TRUE(urlcache::Add(cookieTyped, COOKIE_CACHE_ENTRY));
        ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kTypedKey, "url3", "http://127.0.0.1/typed"));
    };
    auto typedUrl = [&] { return rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kTypedKey, "url3")); };

    CPrivacyCleanerThread thread(kLongInterval);
    fill();
    // Temporary files and cookies, history and typed addresses off.
    thread.SetJobs(TRUE, TRUE, FALSE, FALSE);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(Eventually([&] { return thread.GetPassCount() >= 1; }));
    EXPECT_FALSE(urlcache::Exists(content));
    EXPECT_FALSE(urlcache::Exists(cookie));
    EXPECT_TRUE(urlcache::Exists(visited));
    EXPECT_TRUE(urlcache::Exists(cookieTyped)) << "delete-all ran without the history switch";
    EXPECT_EQ("http://127.0.0.1/typed", typedUrl());
    // The thread now waits out its ten minutes: only the wake-up ends it.
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(0u, thread.GetExitCode());

    fill();
    thread.SetJobs(TRUE, TRUE, TRUE, TRUE);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(Eventually([&] { return thread.GetPassCount() >= 2; }));
    EXPECT_EQ(0u, urlcache::CountAll());
    EXPECT_EQ("", typedUrl());
}

TEST_F(PrivacyCleanerThreadTest, StopInTheMiddleOfAPassLeavesNothingRunning)
{
    const int kEntries = 2000;
    for (int i = 0; i < kEntries; ++i) ASSERT_TRUE(urlcache::Add("http://127.0.0.1/thread/many" + std::to_string(i)));
    // The walker meets the entries in the platform's order: once the first
    // of them is gone, the pass is under way.
    const std::string first = urlcache::List(nullptr).front().url;

    CPrivacyCleanerThread thread(kLongInterval);
    thread.SetJobs(TRUE, FALSE, FALSE, FALSE);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(Eventually([&] { return !urlcache::Exists(first); }));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(0, thread.GetPassCount());

    // What the stopped thread left stays: no job of it runs any more.
    const size_t left = urlcache::List(nullptr).size();
    EXPECT_GT(left, 0u) << "the pass ran to its end instead of stopping";
    EXPECT_LT(left, size_t(kEntries));
    const std::string late = "http://127.0.0.1/thread/after-stop";
    ASSERT_TRUE(urlcache::Add(late));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(left + 1, urlcache::List(nullptr).size());
    EXPECT_TRUE(urlcache::Exists(late));

    // A new start takes up the work at once.
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(Eventually([&] { return thread.GetPassCount() >= 1; }));
    EXPECT_EQ(0u, urlcache::List(nullptr).size());
}

} // namespace
