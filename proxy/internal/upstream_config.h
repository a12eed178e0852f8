// The process-wide upstream configuration: written by CLocalProxyServer::Start
// and read by every connection handler. Start publishes a complete, immutable
// copy at once, and a handler takes one copy for its whole request, so a
// restart with other values never lets a handler mix old and new values.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/internal/upstream_health.h"
#include "proxy/upstream_kind.h"

#include <memory>

struct CUpstreamConfig {
    CString strUpstreamHost;   // host name or dotted IPv4 address
    BOOL bUseUpstream = FALSE; // non-zero: every request goes to the upstream proxy
    WORD nUpstreamPort = 0;
    EUpstreamKind eKind = UPSTREAM_HTTP;
    // The upstream's account: a Proxy-Authorization line for an HTTP proxy,
    // the username and password method for SOCKS5, the user id for SOCKS4a.
    CString strProxyUser;
    CString strProxyPassword;
    CString strProxyAuthHeader;    // whole "Proxy-Authorization" line, CR LF included
    BOOL bProxyAuthHeader = FALSE; // non-zero: the line goes into every request head
    // Counts the upstream's refusals for this configuration only; null when
    // nobody asked to hear of them.
    std::shared_ptr<CUpstreamHealth> pHealth;
    // Published by Stop: the user switched the proxy off, and nothing more
    // goes anywhere, not even to the upstream a later start names again.
    BOOL bSwitchedOff = FALSE;

    // Requests go through a SOCKS proxy: in origin form, each to a connection
    // of its own server.
    bool IsSocks() const { return bUseUpstream && eKind != UPSTREAM_HTTP; }
};

typedef std::shared_ptr<const CUpstreamConfig> CUpstreamConfigPtr;

// The copy in force now; never null (all empty and 0 before the first Start).
CUpstreamConfigPtr GetUpstreamConfig();
void PublishUpstreamConfig(CUpstreamConfigPtr pConfig);

// TRUE when two configurations send requests the same way: both direct, or
// both to the same upstream with the same account; never when either is a
// switch-off. Whatever joins the record and changes where or how a request
// goes belongs in this comparison.
BOOL IsSameUpstream(const CUpstreamConfig& a, const CUpstreamConfig& b);

// The values under their process-wide names, each read from the copy in
// force when called. A handler reads GetUpstreamConfig() once instead.
CString g_strUpstreamHost();
BOOL g_bUseUpstream();
WORD g_nUpstreamPort();
CString g_strProxyUser();
CString g_strProxyPassword();
CString g_strProxyAuthHeader();
BOOL g_bProxyAuthHeader();
