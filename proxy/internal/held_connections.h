// The browser connections the proxy holds at once, and the room for more.
// Under Wine every connection costs the 32-bit process about 1.25 MB of
// address space (its thread's stack, two relay buffers, the heap around
// them): about 1,665 of them fill it, and from then on every new connection,
// an ordinary browser's too, is reset. The proxy holds at most
// MAX_HELD_CONNECTIONS; a new one past that makes room by ending the
// connection that has been idle the longest (a kept-alive connection between
// answers, or one that never sent its head). The browser opens a new one
// when it needs that server again.
#pragma once

#include "framework/core/socket_api.h"

#include <chrono>

// Well below the 1,665 that filled the address space, leaving the program
// its own share.
const int MAX_HELD_CONNECTIONS = 1280;

// Changes the bound (tests); values below 1 restore MAX_HELD_CONNECTIONS.
void SetMaxHeldConnections(int nMax);

// Connections held now.
int CountHeldConnections();

// Called by the listener before it lists a new connection: TRUE
// when there is room, made if need be by ending the longest-idle connection
// held; FALSE when every one held is busy.
BOOL MakeRoomForConnection();

// One held connection, from its thread's start until its browser socket is
// closed. The socket is ended from another thread only through this record
// and under its lock, so Release must come before the socket's close.
class CHeldConnection {
public:
    explicit CHeldConnection(SOCKET_HANDLE sockBrowser);
    ~CHeldConnection() { Release(); }
    CHeldConnection(const CHeldConnection&) = delete;
    CHeldConnection& operator=(const CHeldConnection&) = delete;

    // Idle: waiting for the browser's next request with nothing owed to it.
    void SetIdle(bool bIdle);
    void Release();

private:
    friend BOOL MakeRoomForConnection();
    SOCKET_HANDLE m_sockBrowser;
    std::chrono::steady_clock::time_point m_idleSince;
    bool m_bIdle = true; // the head is awaited first
    bool m_bListed = false;
    bool m_bEnded = false;
    CHeldConnection* m_pPrev = nullptr;
    CHeldConnection* m_pNext = nullptr;
};
