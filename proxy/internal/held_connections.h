// The browser connections the proxy holds at once, and the room for more.
// Every connection costs the 32-bit process address space: its thread's
// stack and the relay's buffer. Under Wine a thread takes about 2 MB
// whatever it reserves (a stack of at least 1 MB and the megabyte Wine
// keeps beside every thread): 1,280 held connections committed about
// 3 GB (tools/bench/RESULTS.md), and past what fits every new connection,
// an ordinary browser's too, is reset. The proxy holds at most as many as
// the address space the process really has leaves room for; a new one past
// that makes room by ending the connection that has been idle the longest
// (a kept-alive connection between answers, or one that never sent its
// head). The browser opens a new one when it needs that server again.
#pragma once

#include "framework/core/socket_api.h"

#include <chrono>
#include <cstdint>

// The most ever held, however much address space there is: a 64-bit
// Windows gives the program 4 GB, of which this many connections take
// about 3 under Wine.
const int MAX_HELD_CONNECTIONS = 1280;

// What one held connection is reckoned to take of the address space (about
// 2.3 MB committed under Wine, well under 1 MB on Windows, with a margin),
// and what is left for the rest of the program (its libraries, heaps and
// the system's own).
const std::uint64_t HELD_CONNECTION_SPACE = 2560 * 1024;
const std::uint64_t PROGRAM_SPACE = 512ull * 1024 * 1024;

// The bound for a process with nAddressSpace bytes: what fits beside the
// program's share, between 16 and MAX_HELD_CONNECTIONS.
int HeldConnectionCap(std::uint64_t nAddressSpace);

// Changes the bound (tests); values below 1 restore the one that follows
// this process's address space.
void SetMaxHeldConnections(int nMax);
int GetMaxHeldConnections();

// Connections held now.
int CountHeldConnections();

// Called by the listener before it lists a new connection: TRUE
// when there is room, made if need be by ending the longest-idle connection
// held; FALSE when every one held is busy.
BOOL MakeRoomForConnection();

// Ends, as MakeRoomForConnection ends one, every held connection that has
// carried requests and now waits between answers for the next: for a change
// of the upstream, or a switch-off, that their next requests must not go the
// old way. The
// browser sees its idle connection close and opens a new one. Connections
// still waiting for their first head take the settings in force when it
// comes, and are left alone.
void EndIdleRelays();

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
    friend void EndIdleRelays();
    SOCKET_HANDLE m_sockBrowser;
    std::chrono::steady_clock::time_point m_idleSince;
    bool m_bIdle = true;     // the head is awaited first
    bool m_bCarried = false; // a request has been read
    bool m_bListed = false;
    bool m_bEnded = false;
    CHeldConnection* m_pPrev = nullptr;
    CHeldConnection* m_pNext = nullptr;
};
