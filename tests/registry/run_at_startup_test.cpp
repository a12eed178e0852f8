// RegisterRunAtStartup on the real machine-wide Run key of the test prefix:
// the command is stored under the entry's name, an equal one is not
// rewritten, and a missing command never blanks an entry that is there.
#include "registry/run_at_startup.h"
#include "support/raw_registry.h"

#include <gtest/gtest.h>

namespace {

const char kEntry[] = "CloakwallRunAtStartupTest";

class RunAtStartup : public ::testing::Test {
protected:
    void SetUp() override { rawreg::DeleteValue(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, kEntry); }
    void TearDown() override { rawreg::DeleteValue(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, kEntry); }
    void PutRunEntry(const std::string& path, DWORD type = REG_SZ)
    {
        ASSERT_TRUE(rawreg::PutText(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, kEntry, path, type));
    }
    rawreg::Value RunEntry() { return rawreg::Get(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, kEntry); }
};

TEST_F(RunAtStartup, NewCommandCreatesTheEntryAsTypedWithoutQuotes)
{
    RegisterRunAtStartup(kEntry, "C:\\Program Files\\Cloakwall\\cloakwall.exe");
    rawreg::Value v = RunEntry();
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ("C:\\Program Files\\Cloakwall\\cloakwall.exe", rawreg::StoredText(v));
}

TEST_F(RunAtStartup, DifferentCommandReplacesTheEntry)
{
    PutRunEntry("C:\\Old Place\\cloakwall.exe");
    RegisterRunAtStartup(kEntry, "D:\\Tools\\cloakwall.exe");
    EXPECT_EQ("D:\\Tools\\cloakwall.exe", rawreg::StoredText(RunEntry()));
}

TEST_F(RunAtStartup, SameCommandWritesNothing)
{
    // Stored under another string type: a rewrite would turn it into REG_SZ.
    PutRunEntry("C:\\Cloakwall\\cloakwall.exe", REG_EXPAND_SZ);
    RegisterRunAtStartup(kEntry, "C:\\Cloakwall\\cloakwall.exe");
    rawreg::Value v = RunEntry();
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), v.type);
    EXPECT_EQ("C:\\Cloakwall\\cloakwall.exe", rawreg::StoredText(v));
}

TEST_F(RunAtStartup, MissingOrEmptyCommandNeverCreatesOrBlanksAnEntry)
{
    RegisterRunAtStartup(kEntry, "");
    RegisterRunAtStartup(kEntry, nullptr);
    EXPECT_FALSE(RunEntry().exists);

    PutRunEntry("C:\\Somewhere\\cloakwall.exe");
    RegisterRunAtStartup(kEntry, "");
    RegisterRunAtStartup(kEntry, nullptr);
    rawreg::Value v = RunEntry();
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ("C:\\Somewhere\\cloakwall.exe", rawreg::StoredText(v));
}

TEST_F(RunAtStartup, AnotherProgramsRunEntriesStayAlone)
{
    ASSERT_TRUE(rawreg::PutText(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, "CloakwallTestNeighbour", "x.exe"));
    RegisterRunAtStartup(kEntry, "C:\\Cloakwall\\cloakwall.exe");
    rawreg::Value neighbour = rawreg::Get(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, "CloakwallTestNeighbour");
    rawreg::DeleteValue(HKEY_LOCAL_MACHINE, RUN_AT_STARTUP_KEY, "CloakwallTestNeighbour");
    EXPECT_EQ("x.exe", rawreg::StoredText(neighbour));
    EXPECT_EQ("C:\\Cloakwall\\cloakwall.exe", rawreg::StoredText(RunEntry()));
}

} // namespace
