// Typed values whose key refuses writes, as the machine-wide keys do for an
// ordinary user: the write is dropped, the value says so, and Get goes on
// answering what is really stored.
#include "registry/reg_dword_value.h"
#include "registry/reg_string_value.h"
#include "registry/test_key.h"
#include "support/key_write_refusal.h"

namespace {

class RegRefusedWrite : public RegistryKeyTest {
protected:
    rawreg::Value Stored(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, Key(), name); }
};

// A refused save leaves the cache at the stored value, so the settings never
// look saved when they are not; once writing works again the same save is
// stored, and a save with nothing to write clears the failure.
TEST_F(RegRefusedWrite, RefusedSaveIsReportedAndGetKeepsTheStoredValue)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "UseProxy", 5);
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "ProxyName", "127.0.0.1:3128");
    CRegDwordValue regNumber(Path("UseProxy").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    CRegStringValue regText(Path("ProxyName").c_str(), "", FALSE, HKEY_CURRENT_USER);
    ASSERT_TRUE(regNumber.IsRead());
    ASSERT_TRUE(regText.IsRead());
    {
        rawreg::KeyWriteRefusal refusal(HKEY_CURRENT_USER, Key());
        if (!refusal.Refusing()) GTEST_SKIP() << "this registry does not refuse writes to the test key";

        EXPECT_TRUE(regNumber.Set(6).LastSetFailed());
        EXPECT_TRUE(regText.Set("127.0.0.1:8118").LastSetFailed());
        EXPECT_EQ(5u, Stored("UseProxy").Dword());
        EXPECT_EQ("127.0.0.1:3128", rawreg::StoredText(Stored("ProxyName")));
        EXPECT_TRUE(regNumber.IsRead());
        EXPECT_EQ(5u, regNumber.Get());
        EXPECT_STREQ("127.0.0.1:3128", regText.Get());
        // Setting what is already stored has nothing to write: no failure.
        EXPECT_FALSE(regNumber.Set(5).LastSetFailed());
        EXPECT_FALSE(regText.Set("127.0.0.1:3128").LastSetFailed());
        EXPECT_TRUE(regNumber.Set(6).LastSetFailed());
    }
    // Writing works again: the same save is made, not skipped as unchanged.
    EXPECT_FALSE(regNumber.Set(6).LastSetFailed());
    EXPECT_FALSE(regText.Set("127.0.0.1:8118").LastSetFailed());
    EXPECT_EQ(6u, Stored("UseProxy").Dword());
    EXPECT_EQ("127.0.0.1:8118", rawreg::StoredText(Stored("ProxyName")));
    EXPECT_EQ(6u, regNumber.Get());
    EXPECT_STREQ("127.0.0.1:8118", regText.Get());
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
        EXPECT_TRUE(regValue.Set(0).LastSetFailed());
        EXPECT_FALSE(Stored("ClearCookies").exists);
        EXPECT_FALSE(regValue.IsRead());
        EXPECT_EQ(1u, regValue.Get());
    }
    EXPECT_FALSE(regValue.Set(0).LastSetFailed());
    rawreg::Value v = Stored("ClearCookies");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(0u, v.Dword());
    EXPECT_EQ(0u, regValue.Get());
}

} // namespace
