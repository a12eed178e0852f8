// The kinds of upstream proxy the local proxy can forward through.
#pragma once

// How the upstream proxy is spoken to. An HTTP proxy gets the requests
// themselves (absolute form); a SOCKS proxy is asked for a connection to
// each request's server, which then gets the request as a server would.
enum EUpstreamKind { UPSTREAM_HTTP, UPSTREAM_SOCKS4A, UPSTREAM_SOCKS5 };
