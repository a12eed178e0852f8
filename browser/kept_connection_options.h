// The proxy options a dial-up or VPN entry had before the program pointed it
// at the local proxy, kept in the registry until they are put back. An
// "Office VPN" entry with its own proxy gets exactly that proxy back at
// switch-off, Exit, logoff or the next start after a crash; an entry the
// program never changed has no record and is never written.
//
// The records live under HKEY_CURRENT_USER\Software\Cloakwall\KeptConnections,
// one numbered key per entry (an entry's name may hold characters a key name
// cannot): per user, as the options themselves are, so one account's options
// are never put into another's entries.
#pragma once

#include "framework/core/cstring.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

// One connection's options as WinINet keeps them. A text the connection
// never had stays absent when put back, not an empty text.
struct CConnectionOptionSet {
    DWORD dwFlags = PROXY_TYPE_DIRECT;
    BOOL bHasServer = FALSE;
    CString strServer;
    BOOL bHasBypass = FALSE;
    CString strBypass;
    BOOL bHasAutoConfigUrl = FALSE;
    CString strAutoConfigUrl;
};

// Stores the record of pszConnectionName, replacing an earlier one; FALSE
// when the registry refused it.
BOOL KeepConnectionOptions(LPCSTR pszConnectionName, const CConnectionOptionSet& options);

// TRUE and the record when one is kept for the connection.
BOOL FindKeptConnectionOptions(LPCSTR pszConnectionName, CConnectionOptionSet& rOptions);

// Removes the connection's record; none is fine.
void ForgetKeptConnectionOptions(LPCSTR pszConnectionName);

// The names of the connections that have a record.
std::vector<CString> KeptConnectionNames();
