// Whether a request names the proxy itself: a loopback name or address (in
// any of the forms a resolver accepts) with the proxy's own port. Checked on
// the names themselves, so it holds with an upstream proxy too, which would
// otherwise connect back to us and bring the same request again and again.
#pragma once

#include "framework/core/types.h"
#include "proxy/internal/request_head.h"

#include <string>

// "localhost" (and names under it), 127.x.y.z and 0.0.0.0 in dotted,
// shortened, octal or hexadecimal form, and [::1], [::] or an IPv4-mapped
// loopback in brackets. Case and one trailing dot are ignored.
bool IsLoopbackHost(const std::string& strHost);

// The authority "host[:port]" (host in brackets for IPv6) names a loopback
// host and nPort, 80 when it names none.
bool AuthorityNamesPort(const std::string& strAuthority, WORD nPort);

// The request's absolute target, or its Host value, names nOwnPort on a
// loopback host.
bool RequestNamesProxy(const CRequestHead& head, WORD nOwnPort);
