// The upstream an entry names, as the local proxy and its dialer take it:
// the kind (from the entry's scheme), host, port and account.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/internal/upstream_config.h"

// Reads the entry with the shared address reader; rConfig gets bUseUpstream,
// the host, the port, the account (the password from the credential store
// when the entry names only the user) and the kind: none or http is an HTTP
// proxy, socks4 and socks4a are asked in the SOCKS4a form (a SOCKS4 request
// would need the server's address looked up here), socks5 and socks5h in
// SOCKS5 with the server's name. FALSE, with rConfig reset, when the entry
// holds no address.
BOOL UpstreamFromAddress(LPCTSTR pszEntry, CUpstreamConfig& rConfig);
