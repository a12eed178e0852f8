// Typed values whose key refuses writes, as the machine-wide keys do for an
// ordinary user: the write is dropped without a word, and what Get answers
// afterwards depends on whether anything was ever read or written.
#include "registry/reg_dword_value.h"
#include "registry/reg_string_value.h"
#include "registry/test_key.h"
#include "support/key_write_refusal.h"

namespace {

class RegRefusedWrite : public RegistryKeyTest {
protected:
    rawreg::Value Stored(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, Key(), name); }
};

// A refused write leaves the cache as it was: Get keeps answering what the
// registry holds, and LastSetFailed says the save did not take.
TEST_F(RegRefusedWrite, AfterAReadGetKeepsTheStoredValue)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "UseProxy", 5);
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "127.0.0.1:3128");
    CRegDwordValue regNumber(Path("UseProxy").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    CRegStringValue regText(Path("ProxyName").c_str(), "", FALSE, HKEY_CURRENT_USER);
    ASSERT_TRUE(regNumber.IsRead());
    ASSERT_TRUE(regText.IsRead());

    rawreg::KeyWriteRefusal refusal(HKEY_CURRENT_USER, Key());
    if (!refusal.Refusing()) GTEST_SKIP() << "this registry does not refuse writes to the test key";

    EXPECT_TRUE(regNumber.Set(6).LastSetFailed());
    EXPECT_TRUE(regText.Set("127.0.0.1:8118").LastSetFailed());
    EXPECT_EQ(5u, Stored("UseProxy").Dword());
    EXPECT_EQ("127.0.0.1:3128", rawreg::StoredText(Stored("ProxyName")));
    EXPECT_TRUE(regNumber.IsRead());
    EXPECT_EQ(5u, regNumber.Get());
    EXPECT_STREQ("127.0.0.1:3128", regText.Get());
    // An unchanged value needs no write, and nothing failed.
    EXPECT_FALSE(regNumber.Set(5).LastSetFailed());
}

// A first save that was refused leaves nothing read: Get goes back to the
// registry, and the same save made again once writing works is stored
// rather than skipped as "unchanged".
TEST_F(RegRefusedWrite, RefusedFirstSaveIsStoredWhenMadeAgain)
{
    CRegDwordValue regValue(Path("ClearCookies").c_str(), 1, FALSE, HKEY_CURRENT_USER);
    {
        rawreg::KeyWriteRefusal refusal(HKEY_CURRENT_USER, Key());
        if (!refusal.Refusing()) GTEST_SKIP() << "this registry does not refuse writes to the test key";
        regValue.Set(0);
        EXPECT_FALSE(Stored("ClearCookies").exists);
        EXPECT_FALSE(regValue.IsRead());
        EXPECT_EQ(1u, regValue.Get());
    }
    regValue.Set(0);
    rawreg::Value v = Stored("ClearCookies");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(0u, v.Dword());
    EXPECT_EQ(0u, regValue.Get());
}

} // namespace
