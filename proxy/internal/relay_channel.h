// The two relays of an established connection: one copies what the browser
// sends to the target, the other copies the target's answer back through the
// content filter.
#pragma once

#include "framework/core/socket_api.h"

#include <atomic>
#include <memory>

const int RELAY_BUFFER_SIZE = 16384;

// The two sockets of one connection, shared by its two relays. The first
// relay to end shuts both down, which wakes the other one's receive; the
// sockets are closed when the last relay lets go of this record, so neither
// relay ever uses or closes a socket number that may already be reused.
class CConnectionSockets {
public:
    CConnectionSockets(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget);
    ~CConnectionSockets();
    CConnectionSockets(const CConnectionSockets&) = delete;
    CConnectionSockets& operator=(const CConnectionSockets&) = delete;

    // Shuts down both sockets in both directions, the first time only.
    void ShutdownOnce();

private:
    SOCKET_HANDLE m_sockBrowser;
    SOCKET_HANDLE m_sockTarget;
    std::atomic<int> m_nShutDown;
};

struct CRelayChannel {
    SOCKET_HANDLE m_sockFrom;
    SOCKET_HANDLE m_sockTo;
    int m_nDirection;             // 0: browser to target; 1: target to browser, filtered
    int m_nLastLength;            // count of the last receive
    char m_buffer[RELAY_BUFFER_SIZE + 1];
    std::shared_ptr<CConnectionSockets> m_pConnection;
};

// Thread routine, parameter one CRelayChannel. Copies until the from socket
// closes or fails, or a send fails; then ends the connection and frees the
// channel. Returns 0.
unsigned int RelayThreadProc(void* pParam);

// Hands both sockets of an established connection to two relay threads.
// Takes ownership of both sockets: when a relay cannot be started they are
// closed here. FALSE when no relay could be started.
BOOL StartRelays(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget);
