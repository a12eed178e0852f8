// The user's WinINet per-connection proxy options: point a connection at a
// proxy, or put it back to direct access. Both change the options for the
// whole user account and tell running WinINet clients at once.
#pragma once

#include "browser/kept_connection_options.h"
#include "browser/proxy_bypass.h"
#include "framework/core/types.h"

// "DefaultConnectionSettings": the connection every caller names.
extern const char* g_pszConnectionName;

// Flags direct-or-proxy, the given proxy server and the bypass list (";"
// between entries; the program passes the ProxyBypass setting). Nonzero
// when WinINet accepted the option list.
BOOL SetConnectionOptions(LPCSTR pszConnectionName, LPCSTR pszProxyServer,
                          LPCSTR pszBypass = CLOAKWALL_DEFAULT_PROXY_BYPASS);

// Flags direct only; the server and bypass texts stay stored and unused.
BOOL DisableConnectionProxy(LPCSTR pszConnectionName);

// The two halves of the operations above, for a change of several
// connections with one announcement: store one connection's options
// (nonzero when WinINet took them) ...
BOOL StoreConnectionOptions(LPCSTR pszConnectionName, LPCSTR pszProxyServer, LPCSTR pszBypass);
BOOL StoreDirectConnection(LPCSTR pszConnectionName);
// ... then tell running WinINet clients: settings changed, proxy settings
// changed, refresh.
void AnnounceConnectionChange();

// The connection's flags, proxy server, bypass list and auto-config address
// as WinINet holds them; FALSE when it would not say.
BOOL QueryConnectionOptions(LPCSTR pszConnectionName, CConnectionOptionSet& rOptions);

// Puts exactly those four back (an absent text as none); nonzero when
// WinINet took them. Announcing is the caller's.
BOOL StoreConnectionOptionSet(LPCSTR pszConnectionName, const CConnectionOptionSet& options);

// TRUE when these options send requests to exactly pszProxyServer.
BOOL OptionsUseProxy(const CConnectionOptionSet& options, LPCSTR pszProxyServer);

// TRUE when the connection's options send its requests to a proxy and that
// proxy is exactly pszProxyServer (the local proxy's address, at start-up:
// a copy that was killed or crashed left the browser pointing there).
BOOL ConnectionUsesProxy(LPCSTR pszConnectionName, LPCSTR pszProxyServer);
