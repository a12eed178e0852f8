// The handler of one accepted browser connection: reads the first request
// head, rebuilds it, connects to the upstream proxy or the web server, sends
// the head and then relays the connection on the same thread.
#pragma once

#include <memory>

#include "framework/core/cstring.h"
#include "framework/core/socket_api.h"
#include "proxy/internal/held_connections.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/upstream_config.h"

// How long a browser may take to deliver its whole first head, counted from
// the moment its handler starts reading. Long enough for the connections a
// browser opens ahead of need; a client that sends nothing, or never ends its
// head, is closed when it passes, so idle sockets cannot use up the process's
// descriptors and threads for good.
const int DEFAULT_REQUEST_HEAD_WAIT_MS = 60 * 1000;

// Changes that bound for connections accepted from now on (tests and the
// proxy harness use a short one). Values below 1 restore the default.
void SetRequestHeadWaitMs(int nMs);
int GetRequestHeadWaitMs();

// Reads until the empty line that ends the head, for at most nWaitMs in all.
// On TRUE, strHead holds the head and strRest whatever the browser sent after
// it in the same reads. FALSE when the browser closed or failed first, the
// head grew past MAX_REQUEST_HEAD, or the time ran out.
BOOL ReadRequestHead(SOCKET_HANDLE sockBrowser, int nWaitMs, CString& strHead, CString& strRest);

// What the listener hands to the thread of one accepted connection.
struct CAcceptedConnection {
    SOCKET_HANDLE sockBrowser;
    // Where the proxy listens, known once to the listener: asking the
    // accepted socket would cost every connection another two round trips
    // to the wineserver under Wine.
    DWORD dwListenAddr; // network order
    WORD nListenPort;
    // Listed by the listener, so that a burst of connections is counted
    // before their threads run.
    std::unique_ptr<CHeldConnection> pHeld;
};

// TRUE when an IPv4 address (network order) and port name the proxy's own
// listening endpoint: the listening address itself, or 0.0.0.0, which
// reaches it as well. Such a target would hand the request back to the
// proxy, again and again.
BOOL IsOwnEndpoint(const CAcceptedConnection& accepted, DWORD dwAddr, WORD nPort);

// Where a request goes: the upstream proxy when one is in use, otherwise the
// host and port its Host header named (empty host and port 0 when none).
void ChooseTarget(const CUpstreamConfig& config, const CRequestHead& head, CString& strHost, int& nPort);

// Thread routine; its parameter is a CAcceptedConnection made with new,
// which it owns from the start (the record and its socket). Returns 0.
unsigned int ConnectionThreadProc(void* pParam);
