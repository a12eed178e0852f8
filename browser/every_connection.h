// Every connection whose proxy options the program changes: the LAN's and
// one for each dial-up or VPN entry of the phone book. Windows keeps proxy
// options per connection, so with only the LAN's set a user on a VPN or a
// PPPoE line would browse direct while the program says otherwise.
#pragma once

#include "framework/core/cstring.h"

#include <vector>

// g_pszConnectionName (the LAN's) first, then each phone-book entry by name.
// A phone book that cannot be read gives the LAN's alone.
std::vector<CString> ListConnections();

// Points every connection at the proxy with the bypass list, then announces
// the change once. Nonzero when every connection took its options.
BOOL SetEveryConnectionOptions(LPCSTR pszProxyServer, LPCSTR pszBypass);

// Flags every connection direct (switch-off, Exit, logoff), then announces
// the change once. Nonzero when every connection took it.
BOOL DisableEveryConnectionProxy();

// At start: every connection still pointing at pszProxyServer (left so by a
// copy that was killed or crashed) goes direct; the others keep what the
// user gave them. Announces only when something changed; TRUE then.
BOOL DisableConnectionsUsingProxy(LPCSTR pszProxyServer);
