// Which way a list download goes. The list sources are third parties:
// while the user browses through an upstream, the program's own requests
// to them must not leave from the user's address nor look their names up
// here, so they take the same upstream.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/internal/upstream_config.h"

enum EListRoute {
    LIST_ROUTE_DIRECT,        // straight to the server through WinINet, as with browsing off
    LIST_ROUTE_OWN_CLIENT,    // our own client over the upstream dialer (any kind, its account too)
    LIST_ROUTE_WININET_PROXY, // WinINet through the HTTP upstream in rProxy ("host:port")
};

// The route for pszUrl while pRoute is in force (null: none). http:// goes
// over our own client, which speaks every kind of upstream. https:// goes
// through an HTTP upstream by WinINet, which asks it for a tunnel (CONNECT)
// by name; through a SOCKS upstream it stays direct (see the .cpp).
EListRoute ListRouteFor(const CUpstreamConfig* pRoute, LPCTSTR pszUrl, CString& rProxy);
