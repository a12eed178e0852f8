// From a parsed proxy address to the upstream configuration.
#include "proxylist/upstream_address.h"

#include "proxylist/proxy_account.h"
#include "proxylist/proxy_address.h"

BOOL UpstreamFromAddress(LPCTSTR pszEntry, CUpstreamConfig& rConfig)
{
    rConfig = CUpstreamConfig();
    CProxyAddress address;
    if (!ParseProxyAddress(pszEntry, address)) return FALSE;
    // An entry as stored names its user alone; the password comes from the
    // credential store.
    JoinProxyPassword(address);
    rConfig.bUseUpstream = TRUE;
    rConfig.strUpstreamHost = address.strHost;
    rConfig.nUpstreamPort = static_cast<WORD>(address.nPort); // 1..65535 once parsed
    rConfig.strProxyUser = address.strUser;
    rConfig.strProxyPassword = address.strPassword;
    switch (address.scheme) {
    case PROXY_SCHEME_SOCKS4:
    case PROXY_SCHEME_SOCKS4A: rConfig.eKind = UPSTREAM_SOCKS4A; break;
    case PROXY_SCHEME_SOCKS5:
    case PROXY_SCHEME_SOCKS5H: rConfig.eKind = UPSTREAM_SOCKS5; break;
    case PROXY_SCHEME_NONE:
    case PROXY_SCHEME_HTTP: rConfig.eKind = UPSTREAM_HTTP; break;
    }
    return TRUE;
}
