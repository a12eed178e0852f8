// SetBrowserTitle and ClearBrowserTitle on the real "Window Title" values of
// the machine and of the user, including a machine-wide key this process
// may not write.
#include "browser/browser_title.h"
#include "registry/raw_registry.h"

#include <aclapi.h>

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

// Takes the right to write values and subkeys of the machine-wide key away
// from everyone for as long as it lives, then puts the key's old
// permissions back.
class MachineKeyWriteRefusal {
public:
    MachineKeyWriteRefusal()
    {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMainKey, 0, NULL, 0, READ_CONTROL | WRITE_DAC, NULL,
                            &m_hKey, NULL) != ERROR_SUCCESS)
            return;
        DWORD cb = 0;
        RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, NULL, &cb);
        m_saved.resize(cb);
        if (cb == 0 || RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_saved.data(), &cb) != ERROR_SUCCESS)
            return;

        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID pEveryone = NULL;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &pEveryone);
        EXPLICIT_ACCESSA ea[2] = {};
        ea[0].grfAccessPermissions = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
        ea[0].grfAccessMode = DENY_ACCESS;
        ea[1].grfAccessPermissions = KEY_ALL_ACCESS;
        ea[1].grfAccessMode = GRANT_ACCESS;
        for (EXPLICIT_ACCESSA& e : ea) {
            e.grfInheritance = NO_INHERITANCE;
            e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
            e.Trustee.ptstrName = static_cast<LPSTR>(pEveryone);
        }
        PACL pAcl = NULL;
        if (SetEntriesInAclA(2, ea, NULL, &pAcl) == ERROR_SUCCESS) {
            SECURITY_DESCRIPTOR sd;
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&sd, TRUE, pAcl, FALSE);
            m_bApplied = RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
            LocalFree(pAcl);
        }
        FreeSid(pEveryone);
    }
    ~MachineKeyWriteRefusal()
    {
        if (m_bApplied)
            RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_saved.data());
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    // True when a write to the key is really refused now.
    bool Refusing() const
    {
        if (!m_bApplied)
            return false;
        HKEY h;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMainKey, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS)
            return true;
        RegCloseKey(h);
        return false;
    }

private:
    HKEY m_hKey = NULL;
    std::vector<BYTE> m_saved;
    bool m_bApplied = false;
};

TEST_F(BrowserTitle, RefusedMachineWriteStillWritesTheUsersCopy)
{
    rawreg::PutText(HKEY_LOCAL_MACHINE, kMainKey, kTitle, "Machine Caption");
    {
        MachineKeyWriteRefusal refusal;
        if (!refusal.Refusing())
            GTEST_SKIP() << "this registry does not refuse writes to the machine-wide key";

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
