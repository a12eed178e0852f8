// CRegStringValue against the real registry: the two-step read of any
// type, the empty text, case-sensitive change detection, long texts.
#include "registry/reg_string_value.h"
#include "registry/test_key.h"

namespace {

class RegStringValue : public RegistryKeyTest {
protected:
    rawreg::Value Stored(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, Key(), name); }
};

TEST_F(RegStringValue, MissingValueGivesDefaultAndCreatesNothing)
{
    CRegStringValue regValue(Path("ProxyName").c_str(), "fallback", FALSE, HKEY_CURRENT_USER);
    EXPECT_STREQ("fallback", regValue.Get());
    EXPECT_FALSE(regValue.IsRead());
    EXPECT_FALSE(rawreg::KeyExists(HKEY_CURRENT_USER, Key()));
}

TEST_F(RegStringValue, EmptyTextIsStoredAsOneZeroByte)
{
    {
        CRegStringValue regFresh(Path("Fresh").c_str(), "", FALSE, HKEY_CURRENT_USER);
        regFresh.Set(""); // a first save is written even though it equals the cache
    }
    rawreg::Value v = Stored("Fresh");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ(std::vector<BYTE>{0}, v.data);

    rawreg::PutText(HKEY_CURRENT_USER, Key(), "Title", "Cloakwall is Enabled");
    CRegStringValue regTitle(Path("Title").c_str(), "", FALSE, HKEY_CURRENT_USER);
    regTitle.Set("");
    v = Stored("Title");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ(std::vector<BYTE>{0}, v.data);
}

TEST_F(RegStringValue, ReadsAnyTypeUpToTheFirstZeroByte)
{
    rawreg::Put(HKEY_CURRENT_USER, Key(), "NoZero", REG_BINARY, "abc", 3);
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Inner", REG_BINARY, "ab\0cd", 5);
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "Expand", "%TEMP%\\x", REG_EXPAND_SZ);
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "Number", 0x00434241);
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Empty", REG_SZ, "", 0);

    EXPECT_STREQ("abc", CRegStringValue(Path("NoZero").c_str(), "-", FALSE, HKEY_CURRENT_USER).Get());
    EXPECT_STREQ("ab", CRegStringValue(Path("Inner").c_str(), "-", FALSE, HKEY_CURRENT_USER).Get());
    EXPECT_STREQ("%TEMP%\\x", CRegStringValue(Path("Expand").c_str(), "-", FALSE, HKEY_CURRENT_USER).Get());
    EXPECT_STREQ("ABC", CRegStringValue(Path("Number").c_str(), "-", FALSE, HKEY_CURRENT_USER).Get());

    CRegStringValue regEmpty(Path("Empty").c_str(), "-", FALSE, HKEY_CURRENT_USER);
    EXPECT_STREQ("", regEmpty.Get());
    EXPECT_TRUE(regEmpty.IsRead());
}

TEST_F(RegStringValue, ComparisonIsCaseSensitive)
{
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "Proxy.Example:80", REG_EXPAND_SZ);
    CRegStringValue regValue(Path("ProxyName").c_str(), "", FALSE, HKEY_CURRENT_USER);

    regValue.Set("Proxy.Example:80");
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), Stored("ProxyName").type);

    regValue.Set("proxy.example:80");
    rawreg::Value v = Stored("ProxyName");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ("proxy.example:80", rawreg::StoredText(v));
    EXPECT_EQ(17u, v.data.size()); // text and its terminating zero
}

TEST_F(RegStringValue, ChangeBehindItsBackIsNeitherSeenNorOverwritten)
{
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "1.2.3.4:80");
    CRegStringValue regValue(Path("ProxyName").c_str(), "", FALSE, HKEY_CURRENT_USER);
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "5.6.7.8:3128");

    EXPECT_STREQ("1.2.3.4:80", regValue.Get());
    regValue.Set("1.2.3.4:80");
    EXPECT_EQ("5.6.7.8:3128", rawreg::StoredText(Stored("ProxyName")));

    CRegStringValue regForced(Path("ProxyName").c_str(), "", TRUE, HKEY_CURRENT_USER);
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "9.9.9.9:1");
    EXPECT_STREQ("9.9.9.9:1", regForced.Get());
}

TEST_F(RegStringValue, LongTextRoundTrips)
{
    std::string text;
    for (int i = 0; i < 3000; ++i) text += static_cast<char>('A' + i % 26);
    text += "\xE9\xFF"; // 8-bit ANSI bytes survive
    {
        CRegStringValue regValue(Path("Long").c_str(), "", FALSE, HKEY_CURRENT_USER);
        regValue.Set(text.c_str());
    }
    CRegStringValue regAgain(Path("Long").c_str(), "", FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(text, regAgain.Get().str());
}

TEST_F(RegStringValue, WriteRecreatesAMissingKey)
{
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "AppPath", "C:\\Cloakwall\\");
    CRegStringValue regValue(Path("AppPath").c_str(), "", FALSE, HKEY_CURRENT_USER);
    rawreg::DeleteTree(HKEY_CURRENT_USER, Key());
    regValue.Write();
    EXPECT_EQ("C:\\Cloakwall\\", rawreg::StoredText(Stored("AppPath")));
}

} // namespace
