// The LAN's and every dial-up and VPN entry's proxy options, changed together
// with one announcement after the change; an entry's own options kept before
// the program changes them and put back when it lets go.
#include "browser/every_connection.h"

#include "browser/connection_option_calls.h"
#include "browser/connection_options.h"
#include "browser/kept_connection_options.h"

#include <raserror.h>

namespace {

// A phone book that grows between the two calls asks for a bigger buffer
// again; a few rounds are plenty.
const int kEnumAttempts = 4;

void AddPhoneBookEntries(std::vector<CString>& names)
{
    const CConnectionOptionCalls& calls = GetConnectionOptionCalls();
    std::vector<RASENTRYNAMEA> entries(1);
    for (int nAttempt = 0; nAttempt < kEnumAttempts; ++nAttempt) {
        // Only the first record's size is read: it tells the phone book
        // which layout of the record this program was built with.
        entries[0].dwSize = sizeof(RASENTRYNAMEA);
        DWORD cb = static_cast<DWORD>(entries.size() * sizeof(RASENTRYNAMEA));
        DWORD dwCount = 0;
        DWORD dwError = calls.pfnRasEnumEntries(NULL, NULL, entries.data(), &cb, &dwCount);
        if (dwError == ERROR_BUFFER_TOO_SMALL) {
            entries.resize(cb / sizeof(RASENTRYNAMEA) + 1);
            continue;
        }
        if (dwError != ERROR_SUCCESS) return;
        if (dwCount > entries.size()) dwCount = static_cast<DWORD>(entries.size());
        for (DWORD i = 0; i < dwCount; ++i) {
            // The name fills its field; an unterminated one is cut off at the
            // field's end rather than read past it.
            entries[i].szEntryName[RAS_MaxEntryName] = '\0';
            CString strName(entries[i].szEntryName);
            if (!strName.IsEmpty()) names.push_back(strName);
        }
        return;
    }
}

std::vector<CString> ListPhoneBookEntries()
{
    std::vector<CString> names;
    AddPhoneBookEntries(names);
    return names;
}

// Keeps the entry's options before its first change. An entry already at
// the local proxy keeps the record it has (switched on again, or after a
// crash); one there without a record was left by an older copy and gets
// direct access back.
BOOL KeepBeforeChange(LPCSTR pszName, LPCSTR pszProxyServer)
{
    CConnectionOptionSet current, kept;
    if (!QueryConnectionOptions(pszName, current)) return FALSE;
    if (OptionsUseProxy(current, pszProxyServer)) {
        if (FindKeptConnectionOptions(pszName, kept)) return TRUE;
        current.dwFlags = PROXY_TYPE_DIRECT;
    }
    return KeepConnectionOptions(pszName, current);
}

// Every entry with a record gets its kept options back and the record goes.
// An entry the user has pointed elsewhere since keeps the user's newer
// choice. FALSE when an entry refused its options (its record stays for the
// next try); *pbWrote set when anything was written.
BOOL PutBackKeptConnections(LPCSTR pszProxyServer, BOOL* pbWrote)
{
    BOOL bAll = TRUE;
    for (const CString& strName : KeptConnectionNames()) {
        CConnectionOptionSet current, kept;
        if (!FindKeptConnectionOptions(strName, kept)) continue;
        if (QueryConnectionOptions(strName, current) && !OptionsUseProxy(current, pszProxyServer)) {
            ForgetKeptConnectionOptions(strName);
            continue;
        }
        if (pbWrote) *pbWrote = TRUE;
        if (StoreConnectionOptionSet(strName, kept))
            ForgetKeptConnectionOptions(strName);
        else
            bAll = FALSE;
    }
    return bAll;
}

} // namespace

BOOL SetEveryConnectionOptions(LPCSTR pszProxyServer, LPCSTR pszBypass)
{
    BOOL bAll = StoreConnectionOptions(g_pszConnectionName, pszProxyServer, pszBypass);
    // One connection that refuses does not keep the others from the proxy.
    // An entry whose own options could not be kept is not changed: the
    // user would lose them for good at the next switch-off.
    for (const CString& strName : ListPhoneBookEntries())
        if (!KeepBeforeChange(strName, pszProxyServer) || !StoreConnectionOptions(strName, pszProxyServer, pszBypass))
            bAll = FALSE;
    AnnounceConnectionChange();
    return bAll;
}

BOOL DisableEveryConnectionProxy(LPCSTR pszProxyServer)
{
    BOOL bAll = StoreDirectConnection(g_pszConnectionName);
    if (!PutBackKeptConnections(pszProxyServer, nullptr)) bAll = FALSE;
    AnnounceConnectionChange();
    return bAll;
}

BOOL DisableConnectionsUsingProxy(LPCSTR pszProxyServer)
{
    BOOL bChanged = FALSE;
    if (ConnectionUsesProxy(g_pszConnectionName, pszProxyServer)) {
        StoreDirectConnection(g_pszConnectionName);
        bChanged = TRUE;
    }
    // Entries a killed copy changed get their own options back; one still
    // at the local proxy without a record (left by an older copy) goes
    // direct, as nothing else is known of it.
    PutBackKeptConnections(pszProxyServer, &bChanged);
    for (const CString& strName : ListPhoneBookEntries()) {
        if (!ConnectionUsesProxy(strName, pszProxyServer)) continue;
        StoreDirectConnection(strName);
        bChanged = TRUE;
    }
    if (bChanged) AnnounceConnectionChange();
    return bChanged;
}
