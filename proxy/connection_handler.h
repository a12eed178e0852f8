// The handler of one accepted browser connection: reads the first request
// head, rebuilds it, connects to the upstream proxy or the web server, sends
// the head and hands both sockets to the relays.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/socket_api.h"

// Reads until the empty line that ends the head. On TRUE, strHead holds the
// head and strRest whatever the browser sent after it in the same reads.
// FALSE when the browser closed or failed first, or the head grew past
// MAX_REQUEST_HEAD.
BOOL ReadRequestHead(SOCKET_HANDLE sockBrowser, CString& strHead, CString& strRest);

// Thread routine; owns sockBrowser from the start. Returns 0.
unsigned int ConnectionThreadProc(SOCKET_HANDLE sockBrowser);
