// RegisterRunAtStartup on the real machine-wide keys of the test prefix:
// AppFullPath is copied into the Run entry, and a missing path never blanks
// an entry that is there.
#include "registry/run_at_startup.h"
#include "registry/raw_registry.h"

#include <gtest/gtest.h>

namespace {

using rawreg::kRunKey;
const char* const kSettingsKey = rawreg::kCloakwallKey;

class RunAtStartup : public ::testing::Test {
protected:
    void SetUp() override { rawreg::ForgetCloakwallInstall(); }
    void TearDown() override { rawreg::ForgetCloakwallInstall(); }
    void PutAppFullPath(const std::string& path)
    {
        ASSERT_TRUE(rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "AppFullPath", path));
    }
    void PutRunEntry(const std::string& path, DWORD type = REG_SZ)
    {
        ASSERT_TRUE(rawreg::PutText(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall", path, type));
    }
    rawreg::Value RunEntry() { return rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall"); }
};

TEST_F(RunAtStartup, NewPathCreatesTheEntryAsTypedWithoutQuotes)
{
    PutAppFullPath("C:\\Program Files\\Cloakwall\\cloakwall.exe");
    RegisterRunAtStartup();
    rawreg::Value v = RunEntry();
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ("C:\\Program Files\\Cloakwall\\cloakwall.exe", rawreg::StoredText(v));
}

TEST_F(RunAtStartup, DifferentPathReplacesTheEntry)
{
    PutAppFullPath("D:\\Tools\\cloakwall.exe");
    PutRunEntry("C:\\Old Place\\cloakwall.exe");
    RegisterRunAtStartup();
    EXPECT_EQ("D:\\Tools\\cloakwall.exe", rawreg::StoredText(RunEntry()));
}

TEST_F(RunAtStartup, SamePathWritesNothing)
{
    // Stored under another string type: a rewrite would turn it into REG_SZ.
    PutAppFullPath("C:\\Cloakwall\\cloakwall.exe");
    PutRunEntry("C:\\Cloakwall\\cloakwall.exe", REG_EXPAND_SZ);
    RegisterRunAtStartup();
    rawreg::Value v = RunEntry();
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), v.type);
    EXPECT_EQ("C:\\Cloakwall\\cloakwall.exe", rawreg::StoredText(v));
}

TEST_F(RunAtStartup, NothingAnywhereCreatesNothing)
{
    RegisterRunAtStartup();
    EXPECT_FALSE(RunEntry().exists);
    EXPECT_FALSE(rawreg::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

TEST_F(RunAtStartup, MissingEmptyOrBlankPathNeverBlanksAnExistingEntry)
{
    PutRunEntry("C:\\Somewhere\\cloakwall.exe");
    RegisterRunAtStartup();
    EXPECT_EQ("C:\\Somewhere\\cloakwall.exe", rawreg::StoredText(RunEntry()));

    for (const char* path : {"", "   ", " \t "}) {
        PutAppFullPath(path);
        RegisterRunAtStartup();
        rawreg::Value v = RunEntry();
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type) << "[" << path << "]";
        EXPECT_EQ("C:\\Somewhere\\cloakwall.exe", rawreg::StoredText(v)) << "[" << path << "]";
    }
}

TEST_F(RunAtStartup, AnotherProgramsRunEntriesStayAlone)
{
    ASSERT_TRUE(rawreg::PutText(HKEY_LOCAL_MACHINE, kRunKey, "CloakwallTestNeighbour", "x.exe"));
    PutAppFullPath("C:\\Cloakwall\\cloakwall.exe");
    RegisterRunAtStartup();
    rawreg::Value neighbour = rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "CloakwallTestNeighbour");
    rawreg::DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, "CloakwallTestNeighbour");
    EXPECT_EQ("x.exe", rawreg::StoredText(neighbour));
    EXPECT_EQ("C:\\Cloakwall\\cloakwall.exe", rawreg::StoredText(RunEntry()));
}

} // namespace
