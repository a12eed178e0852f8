// Choosing the way of a list download.
#include "list_route.h"

EListRoute ListRouteFor(const CUpstreamConfig* pRoute, LPCTSTR pszUrl, CString& rProxy)
{
    rProxy.Empty();
    if (!pRoute || !pRoute->bUseUpstream || pRoute->bSwitchedOff) return LIST_ROUTE_DIRECT;
    const CString strUrl(pszUrl);
    if (strUrl.Left(7).CompareNoCase("http://") == 0) return LIST_ROUTE_OWN_CLIENT;
    if (strUrl.Left(8).CompareNoCase("https://") != 0) return LIST_ROUTE_DIRECT;
    // WinINet has no SOCKS5 at all, and our own client has no TLS over a
    // SOCKS connection for a whole download: an https:// source stays
    // direct through a SOCKS upstream (and Tor). The user can name its
    // http:// address, or browse through an HTTP upstream, to hide it.
    if (pRoute->eKind != UPSTREAM_HTTP) return LIST_ROUTE_DIRECT;
    // An HTTP upstream with an account refuses WinINet's tunnel (407), and
    // the source is then reported as failed: never sent direct instead.
    rProxy.Format("%s:%u", pRoute->strUpstreamHost.GetString(), static_cast<unsigned>(pRoute->nUpstreamPort));
    return LIST_ROUTE_WININET_PROXY;
}
