// The handler of one accepted browser connection: reads the first request
// head, rebuilds it, connects to the upstream proxy or the web server, sends
// the head and hands both sockets to the relays.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/internal/request_head.h"
#include "framework/core/socket_api.h"
#include "proxy/internal/upstream_config.h"

// Reads until the empty line that ends the head. On TRUE, strHead holds the
// head and strRest whatever the browser sent after it in the same reads.
// FALSE when the browser closed or failed first, or the head grew past
// MAX_REQUEST_HEAD.
BOOL ReadRequestHead(SOCKET_HANDLE sockBrowser, CString& strHead, CString& strRest);

// Where a request goes: the upstream proxy when one is in use, otherwise the
// host and port its Host header named (empty host and port 0 when none).
void ChooseTarget(const CUpstreamConfig& config, const CRequestHead& head, CString& strHost, int& nPort);

// Thread routine; its parameter is the accepted socket itself, which it owns
// from the start. Returns 0.
unsigned int ConnectionThreadProc(void* pParam);
