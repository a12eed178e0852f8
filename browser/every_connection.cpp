// The LAN's and every dial-up and VPN entry's proxy options, changed together
// with one announcement after the change.
#include "browser/every_connection.h"

#include "browser/connection_option_calls.h"
#include "browser/connection_options.h"

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

} // namespace

std::vector<CString> ListConnections()
{
    std::vector<CString> names;
    names.push_back(CString(g_pszConnectionName));
    AddPhoneBookEntries(names);
    return names;
}

BOOL SetEveryConnectionOptions(LPCSTR pszProxyServer, LPCSTR pszBypass)
{
    BOOL bAll = TRUE;
    // One connection that refuses does not keep the others from the proxy.
    for (const CString& strName : ListConnections())
        if (!StoreConnectionOptions(strName, pszProxyServer, pszBypass)) bAll = FALSE;
    AnnounceConnectionChange();
    return bAll;
}

BOOL DisableEveryConnectionProxy()
{
    BOOL bAll = TRUE;
    for (const CString& strName : ListConnections())
        if (!StoreDirectConnection(strName)) bAll = FALSE;
    AnnounceConnectionChange();
    return bAll;
}

BOOL DisableConnectionsUsingProxy(LPCSTR pszProxyServer)
{
    BOOL bChanged = FALSE;
    for (const CString& strName : ListConnections()) {
        if (!ConnectionUsesProxy(strName, pszProxyServer)) continue;
        StoreDirectConnection(strName);
        bChanged = TRUE;
    }
    if (bChanged) AnnounceConnectionChange();
    return bChanged;
}
