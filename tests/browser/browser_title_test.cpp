// SetBrowserTitle and ClearBrowserTitle on the real "Window Title" values of
// the machine and of the user, including a machine-wide key this process
// may not write.
#include "browser/browser_title.h"
#include "support/key_write_refusal.h"
#include "support/raw_registry.h"

#include <gtest/gtest.h>

namespace {

const char kMainKey[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kTitle[] = "Window Title";
const std::string kEnabled = "Cloakwall is Enabled";

class BrowserTitle : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedMachine = rawreg::Get(HKEY_LOCAL_MACHINE, kMainKey, kTitle);
        m_savedUser = rawreg::Get(HKEY_CURRENT_USER, kMainKey, kTitle);
        rawreg::DeleteValue(HKEY_LOCAL_MACHINE, kMainKey, kTitle);
        rawreg::DeleteValue(HKEY_CURRENT_USER, kMainKey, kTitle);
    }
    void TearDown() override
    {
        Restore(HKEY_LOCAL_MACHINE, m_savedMachine);
        Restore(HKEY_CURRENT_USER, m_savedUser);
    }
    static void Restore(HKEY root, const rawreg::Value& v)
    {
        if (v.exists)
            rawreg::Put(root, kMainKey, kTitle, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        else
            rawreg::DeleteValue(root, kMainKey, kTitle);
    }
    static rawreg::Value Machine() { return rawreg::Get(HKEY_LOCAL_MACHINE, kMainKey, kTitle); }
    static rawreg::Value User() { return rawreg::Get(HKEY_CURRENT_USER, kMainKey, kTitle); }

    static void ExpectText(const rawreg::Value& v, const std::string& text)
    {
        ASSERT_TRUE(v.exists);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
        std::vector<BYTE> expected(text.begin(), text.end());
        expected.push_back(0);
        EXPECT_EQ(expected, v.data);
    }

    rawreg::Value m_savedMachine, m_savedUser;
};

TEST_F(BrowserTitle, SetThenClearInBothRoots)
{
    SetBrowserTitle();
    ExpectText(Machine(), kEnabled);
    ExpectText(User(), kEnabled);

    ClearBrowserTitle();
    ExpectText(Machine(), "");
    ExpectText(User(), "");
}

TEST_F(BrowserTitle, ClearCreatesNoCopyThatWasNotThere)
{
    rawreg::PutText(HKEY_CURRENT_USER, kMainKey, kTitle, kEnabled);
    ClearBrowserTitle();
    EXPECT_FALSE(Machine().exists);
    ExpectText(User(), "");
}

TEST_F(BrowserTitle, UnchangedCopiesAreNotRewritten)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kMainKey, kTitle, kEnabled, REG_EXPAND_SZ);
    rawreg::PutText(HKEY_CURRENT_USER, kMainKey, kTitle, kEnabled, REG_EXPAND_SZ);
    SetBrowserTitle();
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), Machine().type);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), User().type);
}

TEST_F(BrowserTitle, ClearDoesNotBringBackAnEarlierCaption)
{
    rawreg::PutText(HKEY_CURRENT_USER, kMainKey, kTitle, "My Own Browser");
    SetBrowserTitle();
    ExpectText(User(), kEnabled);
    ClearBrowserTitle();
    ExpectText(User(), "");
}

TEST_F(BrowserTitle, RefusedMachineWriteStillWritesTheUsersCopy)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kMainKey, kTitle, "Machine Caption");
    {
        rawreg::KeyWriteRefusal refusal(HKEY_LOCAL_MACHINE, kMainKey);
        if (!refusal.Refusing()) GTEST_SKIP() << "this registry does not refuse writes to the machine-wide key";

        SetBrowserTitle();
        ExpectText(Machine(), "Machine Caption");
        ExpectText(User(), kEnabled);

        ClearBrowserTitle();
        ExpectText(Machine(), "Machine Caption");
        ExpectText(User(), "");
    }
    // Permissions are back: the machine-wide copy is writable again.
    SetBrowserTitle();
    ExpectText(Machine(), kEnabled);
}

} // namespace
