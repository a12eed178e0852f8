// CRegDwordValue against the real registry: defaults, the cache, writes
// only on change, the force flag, short and long data, failed writes, and
// the first save that must never be skipped.
#include "registry/reg_dword_value.h"
#include "registry/test_key.h"

namespace {

class RegDwordValue : public RegistryKeyTest {
protected:
    // A stored DWORD whose registry type tells whether the object rewrote
    // it: a write always stores REG_DWORD.
    void PutBinaryDword(const char* name, DWORD value)
    {
        ASSERT_TRUE(rawreg::Put(HKEY_CURRENT_USER, Key(), name, REG_BINARY, &value, 4));
    }
    rawreg::Value Stored(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, Key(), name); }
};

TEST_F(RegDwordValue, MissingKeyGivesDefaultAndCreatesNothing)
{
    CRegDwordValue regValue(Path("LocalPort").c_str(), 8080, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(8080u, regValue.Get());
    EXPECT_EQ(8080u, regValue.Read());
    EXPECT_FALSE(regValue.IsRead());
    EXPECT_FALSE(rawreg::KeyExists(HKEY_CURRENT_USER, Key()));

    // Until a read succeeds every Get goes back to the registry...
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "LocalPort", 9090);
    EXPECT_EQ(9090u, regValue.Get());
    EXPECT_TRUE(regValue.IsRead());
    // ...and after that the cache wins.
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "LocalPort", 9191);
    EXPECT_EQ(9090u, regValue.Get());
}

TEST_F(RegDwordValue, ChangeBehindItsBackIsNeitherSeenNorOverwritten)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "UseProxy", 10);
    CRegDwordValue regValue(Path("UseProxy").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(10u, regValue.Get());

    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "UseProxy", 20);
    EXPECT_EQ(10u, regValue.Get());
    regValue.Set(10);
    EXPECT_EQ(20u, Stored("UseProxy").Dword());

    regValue.Set(11);
    rawreg::Value v = Stored("UseProxy");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(4u, v.data.size());
    EXPECT_EQ(11u, v.Dword());
    EXPECT_EQ(11u, regValue.Get());
}

TEST_F(RegDwordValue, SetOfTheCachedValueWritesNothing)
{
    PutBinaryDword("Minimize", 1);
    CRegDwordValue regValue(Path("Minimize").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    ASSERT_EQ(1u, regValue.Get()); // any type of up to 4 bytes is read

    regValue.Set(1);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), Stored("Minimize").type);
}

TEST_F(RegDwordValue, ForceReadsAndWritesEveryTime)
{
    PutBinaryDword("EnableJS", 1);
    CRegDwordValue regValue(Path("EnableJS").c_str(), 0, TRUE, HKEY_CURRENT_USER);
    EXPECT_EQ(1u, regValue.Get());

    PutBinaryDword("EnableJS", 2);
    EXPECT_EQ(2u, regValue.Get());

    regValue.Set(2);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Stored("EnableJS").type);
    PutBinaryDword("EnableJS", 2);
    regValue.Set(2);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Stored("EnableJS").type);
}

TEST_F(RegDwordValue, ShortDataReplacesOnlyLowBytesAndLongDataFails)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "Bits", 0x11223344);
    CRegDwordValue regValue(Path("Bits").c_str(), 5, FALSE, HKEY_CURRENT_USER);
    ASSERT_EQ(0x11223344u, regValue.Get());

    const BYTE two[] = {0xAA, 0xBB};
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Bits", REG_BINARY, two, sizeof(two));
    EXPECT_EQ(0x1122BBAAu, regValue.Read());
    EXPECT_EQ(0x1122BBAAu, regValue.Get());

    const BYTE eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Bits", REG_BINARY, eight, sizeof(eight));
    EXPECT_EQ(5u, regValue.Read());
    EXPECT_EQ(0x1122BBAAu, regValue.Get()); // a failed read keeps cache and flag
}

TEST_F(RegDwordValue, LongDataOnlyIsAFailedRead)
{
    const BYTE eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Bits", REG_BINARY, eight, sizeof(eight));
    CRegDwordValue regValue(Path("Bits").c_str(), 5, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(5u, regValue.Get());
    EXPECT_FALSE(regValue.IsRead());
}

// A user who unticks a default-on option on a fresh machine stores 0, which
// equals the cache's starting 0: the save must still reach the registry.
TEST_F(RegDwordValue, FirstSaveIsWrittenEvenWhenItEqualsTheCache)
{
    {
        CRegDwordValue regValue(Path("ClearCookies").c_str(), 1, FALSE, HKEY_CURRENT_USER);
        ASSERT_EQ(1u, regValue.Get());
        regValue.Set(0);
        EXPECT_EQ(0u, regValue.Get());
        EXPECT_TRUE(regValue.IsRead());
    }
    rawreg::Value v = Stored("ClearCookies");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(0u, v.Dword());

    CRegDwordValue regNextStart(Path("ClearCookies").c_str(), 1, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(0u, regNextStart.Get());
    // Once stored, an unchanged save writes nothing.
    PutBinaryDword("ClearCookies", 0);
    regNextStart.Set(0);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), Stored("ClearCookies").type);
}

TEST_F(RegDwordValue, FailedWriteBeforeAnyReadFallsBackToTheRegistry)
{
    // No such predefined key: every open and create fails.
    HKEY hBadRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF1234));
    CRegDwordValue regValue("Software\\Cloakwall\\UseProxy", 3, FALSE, hBadRoot);
    EXPECT_EQ(3u, regValue.Get());

    regValue.Set(9);
    EXPECT_FALSE(regValue.IsRead());
    EXPECT_EQ(3u, regValue.Get());
}

TEST_F(RegDwordValue, WriteStoresTheCache)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "RunFirst", 4);
    CRegDwordValue regValue(Path("RunFirst").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    rawreg::DeleteTree(HKEY_CURRENT_USER, Key());

    regValue.Write(); // recreates the missing key with its parents
    EXPECT_EQ(4u, Stored("RunFirst").Dword());
}

} // namespace
