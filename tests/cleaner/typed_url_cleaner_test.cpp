// Typed addresses in the current user's real registry: filled values are
// blanked in place, absent ones are not created, url26 is never touched.
#include "cleaner/typed_url_cleaner.h"

#include "support/raw_registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";

class TypedUrlCleanerTest : public ::testing::Test {
protected:
    void SetUp() override { rawreg::DeleteTree(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { rawreg::DeleteTree(HKEY_CURRENT_USER, kKey); }
};

TEST_F(TypedUrlCleanerTest, FilledValuesBecomeEmptyTextAndNothingElseChanges)
{
    // url1 to url25 with every other one absent, a non-text type among them,
    // an already empty one, and url26 beyond the range.
    for (int n = 1; n <= 25; n += 2)
        ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kKey, ("url" + std::to_string(n)).c_str(),
                                    "http://127.0.0.1/typed/" + std::to_string(n)));
    ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kKey, "url2", "http://127.0.0.1/expand", REG_EXPAND_SZ));
    ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kKey, "url4", ""));
    ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kKey, "url26", "http://127.0.0.1/typed/26"));
    ASSERT_TRUE(rawreg::PutText(HKEY_CURRENT_USER, kKey, "url0", "http://127.0.0.1/typed/0"));

    CTypedUrlCleaner().ClearTypedUrls();

    for (int n = 1; n <= 25; ++n) {
        std::string name = "url" + std::to_string(n);
        rawreg::Value v = rawreg::Get(HKEY_CURRENT_USER, kKey, name.c_str());
        bool filled = n % 2 == 1 || n == 2 || n == 4;
        EXPECT_EQ(filled, v.exists) << name;
        if (!filled) continue;
        EXPECT_EQ(DWORD(REG_SZ), v.type) << name;
        EXPECT_EQ(std::string(1, '\0'), v.Text()) << name << ": the empty text with its terminating zero";
    }
    EXPECT_EQ("http://127.0.0.1/typed/26", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kKey, "url26")));
    EXPECT_EQ("http://127.0.0.1/typed/0", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, kKey, "url0")));
}

TEST_F(TypedUrlCleanerTest, AbsentKeyIsNotCreated)
{
    CTypedUrlCleaner().ClearTypedUrls();
    EXPECT_FALSE(rawreg::KeyExists(HKEY_CURRENT_USER, kKey));
}

} // namespace
