// The one place that opens a connection on a request's way out: to the
// HTTP proxy in use, through a SOCKS4a or SOCKS5 proxy to the request's
// server, or to that server itself when no upstream is in use. The local
// proxy's connections, the proxy tester and the grade all come through here,
// so what is tested is what is used.
//
// While an upstream is in use the request's server is never looked up on
// this machine, whatever the kind: a SOCKS proxy is handed its name.
// Callers own the socket returned and give it back with SockClose.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/socket_api.h"
#include "proxy/internal/upstream_config.h"
#include "proxy/socks_handshake.h"

// RemainingMs of a dial that has no bound of its own.
const DWORD DIAL_UNBOUNDED = 0xFFFFFFFF;

// How long a SOCKS server may take over its replies when the dial has no
// bound: one that accepts and never answers must not hold a browser's
// connection (and its thread) for good.
const DWORD DIAL_HANDSHAKE_MS = 30 * 1000;

// What a caller allows a dial: time, a name lookup, and where it may connect.
class CDialPolicy {
public:
    virtual ~CDialPolicy() = default;
    // Milliseconds the dial may still take; 0 gives up (time over, or the
    // caller's job cancelled); DIAL_UNBOUNDED leaves the connect to the
    // system's limit and the SOCKS replies to DIAL_HANDSHAKE_MS.
    virtual DWORD RemainingMs() const;
    // The first IPv4 address (network order) of the upstream proxy's name
    // or, going direct, of the server's.
    virtual BOOL Resolve(LPCTSTR pszHost, DWORD* pAddr) const;
    // FALSE refuses a first hop (the local proxy refuses its own endpoint).
    virtual BOOL MayConnect(DWORD dwAddr, WORD nPort) const;
};

enum EDialFailure {
    DIAL_OK,
    DIAL_BAD_ADDRESS,    // no host, or a port outside 1..65535
    DIAL_UNRESOLVED,     // the first hop's name was not found
    DIAL_REFUSED_HOP,    // the policy refused the first hop
    DIAL_CONNECT_FAILED, // the first hop did not accept the connection
    DIAL_SOCKS_FAILED,   // the SOCKS server said no, or no proper answer
    DIAL_TIMED_OUT,      // the bound passed during the SOCKS exchange
};

struct CDialResult {
    EDialFailure eFailure = DIAL_OK;
    ESocksError eSocksError = SOCKS_ERROR_NONE; // with DIAL_SOCKS_FAILED
    int nConnectMs = 0;                         // the TCP connect to the first hop, at least 1 once made
    DWORD dwHopAddr = 0;                        // the first hop, network order, once resolved
    WORD nHopPort = 0;

    // The upstream proxy answered as a working proxy does, even when it
    // could not reach the server (host unreachable, connection refused...):
    // what its health counter hears as a success.
    BOOL UpstreamWorks() const;
    // In words, for the user: "host unreachable", "the proxy refused the
    // account", "no connection"...
    CString Reason() const;
};

// Opens a connection for requests to strHost:nPort along config's route.
// With an HTTP upstream it is the connection to the proxy (the requests
// name their server); through SOCKS, and direct, it is a connection to the
// server itself. NO_SOCKET on failure, with rResult saying why.
SOCKET_HANDLE DialUpstream(const CUpstreamConfig& config, const CString& strHost, int nPort, const CDialPolicy& policy,
                           CDialResult& rResult);
