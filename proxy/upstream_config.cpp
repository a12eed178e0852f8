// Publication of the upstream configuration through an atomically swapped
// shared pointer: readers on handler threads, the writer on the dialog's.
#include "proxy/internal/upstream_config.h"

#include <atomic>

namespace {

// Never destroyed: relays and handlers may still run while the process
// exits, and must not find the configuration torn down under them.
CUpstreamConfigPtr& Current()
{
    static CUpstreamConfigPtr* s_pConfig = new CUpstreamConfigPtr(std::make_shared<const CUpstreamConfig>());
    return *s_pConfig;
}

} // namespace

CUpstreamConfigPtr GetUpstreamConfig()
{
    return std::atomic_load(&Current());
}

void PublishUpstreamConfig(CUpstreamConfigPtr pConfig)
{
    if (!pConfig) pConfig = std::make_shared<const CUpstreamConfig>();
    std::atomic_store(&Current(), std::move(pConfig));
}

BOOL IsSameUpstream(const CUpstreamConfig& a, const CUpstreamConfig& b)
{
    if (a.bSwitchedOff || b.bSwitchedOff) return FALSE;
    if (!a.bUseUpstream || !b.bUseUpstream) return !a.bUseUpstream && !b.bUseUpstream;
    return a.strUpstreamHost == b.strUpstreamHost && a.nUpstreamPort == b.nUpstreamPort && a.eKind == b.eKind &&
           a.strProxyUser == b.strProxyUser && a.strProxyPassword == b.strProxyPassword &&
           a.bProxyAuthHeader == b.bProxyAuthHeader && a.strProxyAuthHeader == b.strProxyAuthHeader;
}

CString g_strUpstreamHost()
{
    return GetUpstreamConfig()->strUpstreamHost;
}
BOOL g_bUseUpstream()
{
    return GetUpstreamConfig()->bUseUpstream;
}
WORD g_nUpstreamPort()
{
    return GetUpstreamConfig()->nUpstreamPort;
}
CString g_strProxyUser()
{
    return GetUpstreamConfig()->strProxyUser;
}
CString g_strProxyPassword()
{
    return GetUpstreamConfig()->strProxyPassword;
}
CString g_strProxyAuthHeader()
{
    return GetUpstreamConfig()->strProxyAuthHeader;
}
BOOL g_bProxyAuthHeader()
{
    return GetUpstreamConfig()->bProxyAuthHeader;
}
