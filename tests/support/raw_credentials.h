// Direct Credential Manager access for tests: look at and remove generic
// credentials without going through the program's credential seam.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <wincred.h>

#include <string>

namespace rawcred {

// "user|secret" of a generic credential (the blob read as UTF-16, the tests'
// texts being ASCII); empty when there is none.
inline std::string Read(const std::string& target)
{
    PCREDENTIALW pCred = nullptr;
    if (!CredReadW(std::wstring(target.begin(), target.end()).c_str(), CRED_TYPE_GENERIC, 0, &pCred)) return "";
    std::string out;
    for (const wchar_t* p = pCred->UserName; p && *p; ++p) out += static_cast<char>(*p);
    out += '|';
    const wchar_t* blob = reinterpret_cast<const wchar_t*>(pCred->CredentialBlob);
    for (DWORD i = 0; i < pCred->CredentialBlobSize / sizeof(wchar_t); ++i) out += static_cast<char>(blob[i]);
    CredFree(pCred);
    return out;
}

inline void Delete(const std::string& target)
{
    CredDeleteW(std::wstring(target.begin(), target.end()).c_str(), CRED_TYPE_GENERIC, 0);
}

// Removes every credential the program keeps ("Cloakwall:..."): the prefix
// outlives a run, and a password left by one test must not reach another.
inline void DeleteProgramsOwn()
{
    DWORD nCount = 0;
    PCREDENTIALW* ppCreds = nullptr;
    if (!CredEnumerateW(L"Cloakwall:*", 0, &nCount, &ppCreds)) return;
    for (DWORD i = 0; i < nCount; ++i) CredDeleteW(ppCreds[i]->TargetName, CRED_TYPE_GENERIC, 0);
    CredFree(ppCreds);
}

} // namespace rawcred
