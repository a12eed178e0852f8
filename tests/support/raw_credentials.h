// Direct Credential Manager access for tests: look at and remove generic
// credentials without going through the program's credential seam.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <wincred.h>

#include <string>

namespace rawcred {

inline std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end()); // the tests' names are ASCII
}

struct Credential {
    bool exists = false;
    std::string user;
    std::string secret; // the blob read as UTF-16 and narrowed (ASCII in the tests)
};

inline Credential Read(const std::string& target)
{
    Credential out;
    PCREDENTIALW pCred = nullptr;
    if (!CredReadW(Wide(target).c_str(), CRED_TYPE_GENERIC, 0, &pCred)) return out;
    out.exists = true;
    if (pCred->UserName)
        for (const wchar_t* p = pCred->UserName; *p; ++p) out.user += static_cast<char>(*p);
    const wchar_t* blob = reinterpret_cast<const wchar_t*>(pCred->CredentialBlob);
    for (DWORD i = 0; i < pCred->CredentialBlobSize / sizeof(wchar_t); ++i) out.secret += static_cast<char>(blob[i]);
    CredFree(pCred);
    return out;
}

// Removes a credential; an absent one is fine.
inline void Delete(const std::string& target)
{
    CredDeleteW(Wide(target).c_str(), CRED_TYPE_GENERIC, 0);
}

} // namespace rawcred
