// The walker on the prefix's real URL cache: empty results, an entry larger
// than the starting buffer, and the enumeration handle's life.
#include "cleaner/url_cache_walker.h"
#include "url_cache_fill.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class UrlCacheWalkerTest : public ::testing::Test {
protected:
    void SetUp() override { urlcache::Clear(); }
    void TearDown() override { urlcache::Clear(); }
};

// A find handle that has been closed is refused by the platform.
bool IsClosedFindHandle(HANDLE hFind)
{
    BYTE buffer[8192];
    DWORD cb = sizeof buffer;
    BOOL bNext = FindNextUrlCacheEntryA(hFind, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer), &cb);
    return !bNext && GetLastError() == ERROR_INVALID_HANDLE;
}

TEST_F(UrlCacheWalkerTest, NothingFoundHoldsNoHandleAndStaysAtTheEnd)
{
    CUrlCacheWalker walker;
    EXPECT_EQ(nullptr, walker.FindNext()) << "no enumeration started";

    EXPECT_EQ(nullptr, walker.FindFirst(nullptr));
    EXPECT_EQ(nullptr, walker.GetFindHandle());
    EXPECT_EQ(nullptr, walker.FindNext());
    EXPECT_EQ(nullptr, walker.FindNext());

    // Entries elsewhere do not make a pattern match.
    ASSERT_TRUE(urlcache::Add("http://127.0.0.1/walker/only-content"));
    EXPECT_EQ(nullptr, walker.FindFirstCookie());
    EXPECT_EQ(nullptr, walker.GetFindHandle());
    EXPECT_EQ(nullptr, walker.FindNext());

    // A found enumeration keeps its handle past its end, and its end lasts.
    ASSERT_NE(nullptr, walker.FindFirst(nullptr));
    EXPECT_EQ(nullptr, walker.FindNext());
    EXPECT_NE(nullptr, walker.GetFindHandle());
    EXPECT_EQ(nullptr, walker.FindNext());
}

TEST_F(UrlCacheWalkerTest, LargeEntryIsReturnedAndTheGrownBufferServesTheRest)
{
    const std::string bigUrl = "http://127.0.0.1/walker/big?" + std::string(6000, 'q');
    ASSERT_TRUE(urlcache::Add(bigUrl));
    std::set<std::string> expected{bigUrl};
    for (int i = 0; i < 20; ++i) {
        std::string url = "http://127.0.0.1/walker/small" + std::to_string(i);
        ASSERT_TRUE(urlcache::Add(url));
        expected.insert(url);
    }
    DWORD cbBigRecord = 0;
    GetUrlCacheEntryInfoA(bigUrl.c_str(), nullptr, &cbBigRecord);
    ASSERT_GT(cbBigRecord, DWORD(CUrlCacheWalker::INITIAL_BUFFER_SIZE));

    CUrlCacheWalker walker;
    std::set<std::string> seen;
    INTERNET_CACHE_ENTRY_INFOA* pGrown = nullptr;
    for (auto* p = walker.FindFirst(nullptr); p; p = walker.FindNext()) {
        seen.insert(p->lpszSourceUrlName);
        if (pGrown) {
            EXPECT_EQ(pGrown, p) << "an entry after the large one got a new buffer";
        }
        if (walker.GetBufferCapacity() > DWORD(CUrlCacheWalker::INITIAL_BUFFER_SIZE)) pGrown = p;
    }
    EXPECT_EQ(expected, seen) << "an entry was skipped or repeated";
    // Grown once, to exactly the size the platform asked for, and kept.
    EXPECT_EQ(cbBigRecord, walker.GetBufferCapacity());

    // A new enumeration offers the platform 4,096 bytes again but keeps the
    // larger block, so the large entry needs no second growth.
    seen.clear();
    for (auto* p = walker.FindFirst(nullptr); p; p = walker.FindNext()) seen.insert(p->lpszSourceUrlName);
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(cbBigRecord, walker.GetBufferCapacity());
}

TEST_F(UrlCacheWalkerTest, SecondFindFirstClosesTheFirstEnumeration)
{
    ASSERT_TRUE(urlcache::Add("http://127.0.0.1/walker/first"));
    ASSERT_TRUE(urlcache::Add("http://127.0.0.1/walker/second"));
    CUrlCacheWalker walker;
    ASSERT_NE(nullptr, walker.FindFirst(nullptr));
    HANDLE hFirst = walker.GetFindHandle();
    ASSERT_NE(nullptr, hFirst);

    // A search that finds nothing opens nothing new, so the old handle
    // cannot be mistaken for a reused one.
    EXPECT_EQ(nullptr, walker.FindFirstVisited());
    EXPECT_EQ(nullptr, walker.GetFindHandle());
    EXPECT_TRUE(IsClosedFindHandle(hFirst));

    // A search that does find starts again from the beginning.
    std::set<std::string> seen;
    for (auto* p = walker.FindFirst(nullptr); p; p = walker.FindNext()) seen.insert(p->lpszSourceUrlName);
    EXPECT_EQ(2u, seen.size());
}

TEST_F(UrlCacheWalkerTest, DestructionInTheMiddleClosesTheHandle)
{
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(urlcache::Add("http://127.0.0.1/walker/mid" + std::to_string(i)));
    HANDLE hFind = nullptr;
    {
        CUrlCacheWalker walker;
        ASSERT_NE(nullptr, walker.FindFirst(nullptr));
        ASSERT_NE(nullptr, walker.FindNext());
        hFind = walker.GetFindHandle();
        ASSERT_NE(nullptr, hFind);
    }
    EXPECT_TRUE(IsClosedFindHandle(hFind));
}

} // namespace
