// How a full path is split into key path and value name, and where a value
// without a key path or without a name lives.
#include "registry/reg_dword_value.h"
#include "registry/reg_string_value.h"
#include "registry/test_key.h"

namespace {

struct SplitCase {
    const char* path;
    const char* keyPath;
    const char* valueName;
};

const SplitCase kSplitCases[] = {
    {"Software\\Cloakwall\\LocalPort", "Software\\Cloakwall", "LocalPort"},
    {"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Cloakwall",
     "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Cloakwall"},
    {"Software\\Microsoft\\Internet Explorer\\TypedURLs\\url1", "Software\\Microsoft\\Internet Explorer\\TypedURLs",
     "url1"},
    {"LocalPort", "", "LocalPort"},
    {"Software\\Cloakwall\\", "Software\\Cloakwall", ""},
    // Runs of backslashes: leading ones go, the last one splits, the key
    // loses its trailing ones.
    {"\\\\\\A\\\\B\\\\\\C", "A\\\\B", "C"},
    {"\\", "", ""},
    {"", "", ""},
};

TEST(RegPathSplit, TableOfPaths)
{
    for (const SplitCase& c : kSplitCases) {
        CString strKey, strName;
        CRegValue::SplitPath(c.path, strKey, strName);
        EXPECT_STREQ(c.keyPath, strKey) << "path " << c.path;
        EXPECT_STREQ(c.valueName, strName) << "path " << c.path;
    }
}

TEST(RegPathSplit, EveryMemberSplitsAtConstruction)
{
    CRegDwordValue regPort("\\Software\\CloakwallTest\\Absent\\LocalPort", 8080, FALSE, HKEY_CURRENT_USER);
    EXPECT_STREQ("Software\\CloakwallTest\\Absent", regPort.GetKeyPath());
    EXPECT_STREQ("LocalPort", regPort.GetValueName());
    EXPECT_EQ(HKEY_CURRENT_USER, regPort.GetRoot());

    CRegStringValue regTitle("\\Software\\CloakwallTest\\Absent\\Window Title", "", FALSE, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ("Software\\CloakwallTest\\Absent", regTitle.GetKeyPath());
    EXPECT_STREQ("Window Title", regTitle.GetValueName());
    EXPECT_EQ(HKEY_LOCAL_MACHINE, regTitle.GetRoot());
}

class RegPathBinding : public RegistryKeyTest {};

TEST_F(RegPathBinding, NoBackslashBindsTheRootKeyItself)
{
    const char kName[] = "CloakwallTestRootValue";
    rawreg::DeleteValue(HKEY_CURRENT_USER, "", kName);
    {
        CRegDwordValue regValue(kName, 3, FALSE, HKEY_CURRENT_USER);
        EXPECT_EQ(3u, regValue.Get());
        regValue.Set(77);
    }
    rawreg::Value v = rawreg::Get(HKEY_CURRENT_USER, "", kName);
    rawreg::DeleteValue(HKEY_CURRENT_USER, "", kName);
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(77u, v.Dword());
}

TEST_F(RegPathBinding, TrailingBackslashBindsTheKeysUnnamedValue)
{
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "", "unnamed text");
    CRegStringValue regValue((m_key + "\\").c_str(), "default", FALSE, HKEY_CURRENT_USER);
    EXPECT_STREQ("unnamed text", regValue.Get());

    regValue.Set("changed");
    EXPECT_EQ("changed", rawreg::StoredText(rawreg::Get(HKEY_CURRENT_USER, Key(), "")));
}

} // namespace
