// Takes the right to write values and subkeys of one registry key away from
// everyone for as long as it lives, then puts the key's old permissions back.
// Stands in for a user without write access (the machine-wide keys of an
// ordinary account).
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <vector>

namespace rawreg {

class KeyWriteRefusal {
public:
    KeyWriteRefusal(HKEY root, const char* path) : m_root(root), m_path(path)
    {
        if (RegCreateKeyExA(root, path, 0, NULL, 0, READ_CONTROL | WRITE_DAC, NULL, &m_hKey, NULL) != ERROR_SUCCESS)
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
    ~KeyWriteRefusal()
    {
        if (m_bApplied) RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_saved.data());
        if (m_hKey) RegCloseKey(m_hKey);
    }
    KeyWriteRefusal(const KeyWriteRefusal&) = delete;
    KeyWriteRefusal& operator=(const KeyWriteRefusal&) = delete;

    // True when a write to the key is really refused now.
    bool Refusing() const
    {
        if (!m_bApplied) return false;
        HKEY h;
        if (RegCreateKeyExA(m_root, m_path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS) return true;
        RegCloseKey(h);
        return false;
    }

private:
    HKEY m_root;
    const char* m_path;
    HKEY m_hKey = NULL;
    std::vector<BYTE> m_saved;
    bool m_bApplied = false;
};

} // namespace rawreg
