// Every connection whose proxy options the program changes: the LAN's and
// one for each dial-up or VPN entry of the phone book. Windows keeps proxy
// options per connection, so with only the LAN's set a user on a VPN or a
// PPPoE line would browse direct while the program says otherwise.
#pragma once

#include "framework/core/types.h"

// Points the LAN's connection and every phone-book entry at the proxy with
// the bypass list, then announces the change once. Each entry's own options
// are kept first (kept_connection_options.h); an entry whose options could
// not be kept is left as it is. Nonzero when every connection took the proxy.
BOOL SetEveryConnectionOptions(LPCSTR pszProxyServer, LPCSTR pszBypass);

// Switch-off, Exit, logoff: the LAN's connection goes direct; every entry
// the program changed gets its own options back, unless the user has since
// pointed it away from pszProxyServer (the local proxy); entries the program
// never changed are not written. Announces once; nonzero when every
// connection took it.
BOOL DisableEveryConnectionProxy(LPCSTR pszProxyServer);

// At start: the LAN's connection still at pszProxyServer (left so by a copy
// that was killed or crashed) goes direct, entries that copy changed get
// their own options back, and any other entry still there goes direct;
// the others keep what the user gave them. Announces only when something
// changed; TRUE then.
BOOL DisableConnectionsUsingProxy(LPCSTR pszProxyServer);
