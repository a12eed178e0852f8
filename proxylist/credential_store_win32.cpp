// Win32 half of the credential seam: generic credentials in the user's
// Credential Manager (CredWriteW/CredReadW), the secret kept as UTF-16 as
// the system's own credential dialogs keep passwords.
#include "proxylist/credential_store.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <wincred.h>

#include <string>

namespace {

std::wstring Wide(LPCTSTR psz)
{
    if (!psz || !*psz) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

CString Narrow(const wchar_t* pwch, int nChars)
{
    if (nChars <= 0) return CString();
    int n = WideCharToMultiByte(CP_ACP, 0, pwch, nChars, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return CString();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, pwch, nChars, &out[0], n, nullptr, nullptr);
    return CString(out);
}

} // namespace

BOOL CredStoreWrite(LPCTSTR pszTarget, LPCTSTR pszUser, LPCTSTR pszSecret)
{
    std::wstring target = Wide(pszTarget);
    std::wstring user = Wide(pszUser);
    std::wstring secret = Wide(pszSecret);
    const size_t nBytes = secret.size() * sizeof(wchar_t);
    if (target.empty() || nBytes > CRED_MAX_CREDENTIAL_BLOB_SIZE) return FALSE;
    CREDENTIALW cred = {};
    cred.Type = CRED_TYPE_GENERIC;
    cred.TargetName = &target[0];
    cred.UserName = user.empty() ? nullptr : &user[0];
    cred.CredentialBlobSize = static_cast<DWORD>(nBytes);
    cred.CredentialBlob = nBytes ? reinterpret_cast<LPBYTE>(&secret[0]) : nullptr;
    // This machine only: a proxy account has no business roaming with the
    // user's profile.
    cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
    BOOL bStored = CredWriteW(&cred, 0);
    SecureZeroMemory(&secret[0], secret.size() * sizeof(wchar_t));
    return bStored;
}

BOOL CredStoreRead(LPCTSTR pszTarget, CString& rSecret)
{
    rSecret.Empty();
    std::wstring target = Wide(pszTarget);
    if (target.empty()) return FALSE;
    PCREDENTIALW pCred = nullptr;
    if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &pCred) || !pCred) return FALSE;
    rSecret = Narrow(reinterpret_cast<const wchar_t*>(pCred->CredentialBlob),
                     static_cast<int>(pCred->CredentialBlobSize / sizeof(wchar_t)));
    CredFree(pCred);
    return TRUE;
}
