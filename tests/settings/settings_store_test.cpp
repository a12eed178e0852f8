// The settings objects as a starting program builds them: defaults on a
// machine without Software\Cloakwall, stored values read, the key created
// by the first writing Set, a first save that equals the cache still
// stored, and the start with Windows registered only when start-up asks.
#include "settings/probe_process.h"
#include "support/raw_registry.h"

#include <gtest/gtest.h>

namespace {

using rawreg::kRunKey;
const char* const kSettingsKey = rawreg::kCloakwallKey;

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { rawreg::ForgetCloakwallInstall(); }
    void TearDown() override { rawreg::ForgetCloakwallInstall(); }
    probe::Result RunProbe(const std::string& arguments = std::string())
    {
        probe::Result r = probe::Run(arguments);
        EXPECT_TRUE(r.started) << "cannot start " << probe::ProbePath();
        EXPECT_EQ(0u, r.exitCode);
        return r;
    }
};

TEST_F(SettingsStore, FreshMachineHasEveryDefaultAndNoKey)
{
    probe::Result r = RunProbe();
    const std::map<std::string, std::string> expected = {
        {"AppPath", ""},        {"AppPathCopy", ""},
        {"LocalPort", "8080"},  {"UseProxy", "0"},
        {"ProxyName", ""},      {"EnableJS", "0"},
        {"EnableActiveX", "0"}, {"ClearTmpFiles", "1"},
        {"ClearCookies", "1"},  {"DeleteAddresses", "1"},
        {"DeleteHistory", "1"}, {"Minimize", "0"},
        {"RunFirst", "0"},      {"UpdateServer", "cloakwall-update.invalid"},
        {"JudgeUrl", ""},       {"ProxyBypass", "<local>;localhost;127.0.0.1;[::1]"},
    };
    EXPECT_EQ(expected, r.values);
    // Reading every setting created nothing.
    EXPECT_FALSE(rawreg::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
    EXPECT_FALSE(rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall").exists);
}

TEST_F(SettingsStore, StoredValuesAreReadAtStart)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "AppPath", "C:\\Program Files\\Cloakwall\\");
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "LocalPort", 9090);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "UseProxy", 1);
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyName", "127.0.0.1:3128");
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "EnableJS", 1);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "EnableActiveX", 1);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ClearTmpFiles", 0);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "ClearCookies", 0);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "DeleteAddresses", 0);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "DeleteHistory", 0);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Minimize", 1);
    rawreg::PutDword(HKEY_LOCAL_MACHINE, kSettingsKey, "RunFirst", 1);
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "UpdateServer", "127.0.0.1:8123");
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "JudgeUrl", "http://127.0.0.1:8124/judge");
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyBypass", "<local>;*.corp.example");

    probe::Result r = RunProbe();
    const std::map<std::string, std::string> expected = {
        {"AppPath", "C:\\Program Files\\Cloakwall\\"},
        {"AppPathCopy", ""},
        {"LocalPort", "9090"},
        {"UseProxy", "1"},
        {"ProxyName", "127.0.0.1:3128"},
        {"EnableJS", "1"},
        {"EnableActiveX", "1"},
        {"ClearTmpFiles", "0"},
        {"ClearCookies", "0"},
        {"DeleteAddresses", "0"},
        {"DeleteHistory", "0"},
        {"Minimize", "1"},
        {"RunFirst", "1"},
        {"UpdateServer", "127.0.0.1:8123"},
        {"JudgeUrl", "http://127.0.0.1:8124/judge"},
        {"ProxyBypass", "<local>;*.corp.example"},
    };
    EXPECT_EQ(expected, r.values);
}

TEST_F(SettingsStore, FirstWritingSetCreatesTheKey)
{
    RunProbe("set Minimize 1");
    rawreg::Value v = rawreg::Get(HKEY_LOCAL_MACHINE, kSettingsKey, "Minimize");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(1u, v.Dword());
    EXPECT_EQ("1", RunProbe().values["Minimize"]);
}

// Unticking "Clear Cookies" on a fresh machine saves 0, the cache's starting
// value: it must be stored, or the next start brings the default 1 back.
TEST_F(SettingsStore, UntickedDefaultOnOptionsSurviveTheNextStart)
{
    RunProbe("set ClearCookies 0 set ClearTmpFiles 0 set DeleteAddresses 0 set DeleteHistory 0 "
             "set EnableJS 0 set ProxyName \"\"");
    probe::Result r = RunProbe();
    EXPECT_EQ("0", r.values["ClearCookies"]);
    EXPECT_EQ("0", r.values["ClearTmpFiles"]);
    EXPECT_EQ("0", r.values["DeleteAddresses"]);
    EXPECT_EQ("0", r.values["DeleteHistory"]);
    EXPECT_EQ(0u, rawreg::Get(HKEY_LOCAL_MACHINE, kSettingsKey, "EnableJS").Dword());
    rawreg::Value proxy = rawreg::Get(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyName");
    EXPECT_TRUE(proxy.exists);
    EXPECT_EQ(std::vector<BYTE>{0}, proxy.data);
}

TEST_F(SettingsStore, ReadingTheSettingsLeavesTheRunKeyAlone)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "AppFullPath", "C:\\Cloakwall\\cloakwall.exe");
    EXPECT_EQ("0", RunProbe().values["Minimize"]);
    EXPECT_FALSE(rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall").exists);
}

TEST_F(SettingsStore, StartUpRegistersTheRunEntryFromAppFullPath)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "AppFullPath", "C:\\Cloakwall\\cloakwall.exe");
    RunProbe("register");
    EXPECT_EQ("C:\\Cloakwall\\cloakwall.exe",
              rawreg::StoredText(rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall")));
}

TEST_F(SettingsStore, StartUpWithoutAppFullPathLeavesTheRunEntry)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall", "C:\\Elsewhere\\cloakwall.exe");
    RunProbe("register");
    EXPECT_EQ("C:\\Elsewhere\\cloakwall.exe",
              rawreg::StoredText(rawreg::Get(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall")));
}

// The bypass list of earlier versions held patterns a page could abuse:
// start-up replaces it while it is that default, and keeps any list the
// user edited.
TEST_F(SettingsStore, StartUpReplacesOnlyTheEarlierDefaultBypass)
{
    const std::string earlier = "<local>;localhost;127.*;10.*;172.16.*;172.17.*;172.18.*;172.19.*;172.20.*;172.21.*;"
                                "172.22.*;172.23.*;172.24.*;172.25.*;172.26.*;172.27.*;172.28.*;172.29.*;172.30.*;"
                                "172.31.*;192.168.*;169.254.*;[::1]";
    const std::string today = "<local>;localhost;127.0.0.1;[::1]";
    const struct {
        const char* pszName;
        bool bStored;
        std::string stored;
        std::string after; // in the registry and as the program reads it
    } cases[] = {
        {"the earlier default", true, earlier, today},
        {"edited by the user", true, earlier + ";*.corp.example", earlier + ";*.corp.example"},
        {"emptied by the user", true, "", ""},
        {"today's default", true, today, today},
        {"never stored", false, "", today},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        rawreg::ForgetCloakwallInstall();
        if (c.bStored) rawreg::PutText(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyBypass", c.stored);
        EXPECT_EQ(c.after, RunProbe("bypass").values["ProxyBypass"]);
        const rawreg::Value v = rawreg::Get(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyBypass");
        // Nothing is written where nothing was stored.
        EXPECT_EQ(c.bStored, v.exists);
        if (c.bStored) {
            EXPECT_EQ(c.after, rawreg::StoredText(v));
        }
    }
}

} // namespace
