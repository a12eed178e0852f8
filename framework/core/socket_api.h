// The socket seam: the few blocking TCP operations the program needs (the
// local proxy, the proxy tester's checks, the tests' loopback peers), with a
// Winsock half (socket_win32.cpp) and a BSD half
// (socket_posix.cpp). Callers own every socket a function here returns and
// give it back with SockClose exactly once. Errors come back as NO_SOCKET,
// FALSE or a negative count; nothing throws.
#pragma once

#include "framework/core/types.h"

// Wide enough for a Winsock SOCKET and a POSIX descriptor alike.
typedef std::uintptr_t SOCKET_HANDLE;
const SOCKET_HANDLE NO_SOCKET = ~static_cast<SOCKET_HANDLE>(0);

// Prepares the socket library for this process (once; later calls only
// report the first result). Sockets must not be used when it fails.
BOOL SockInitOnce();

// A TCP socket bound to 127.0.0.1 and listening. nPort 0 picks a free port;
// *pBoundPort receives the port actually bound. NO_SOCKET when the socket
// cannot be made, bound (port taken) or put to listening.
SOCKET_HANDLE SockListenLoopback(WORD nPort, WORD* pBoundPort);

// A datagram socket on 127.0.0.1 that a listener waits on beside its
// listening socket, so another thread can wake it without touching the
// listening socket. *pPort receives its port.
SOCKET_HANDLE SockOpenWaker(WORD* pPort);

// Sends one datagram to the waker on nWakePort, from a socket of its own.
BOOL SockWakeListener(WORD nWakePort);

// Waits until a connection can be accepted on sockListen, the waker got a
// datagram, or nTimeoutMs passed. 1: a connection is waiting; 0: woken (the
// datagram is consumed, so it ends this wait only) or timed out; -1: the
// wait itself failed.
int SockWaitForConnection(SOCKET_HANDLE sockListen, SOCKET_HANDLE sockWaker, int nTimeoutMs);

// Waits until sockA or sockB has something to receive (data, the peer's
// close or an error, which the next SockRecv reports), or nTimeoutMs passed
// (-1: no limit). Either may be NO_SOCKET, which is not waited on. Bit 1:
// sockA is ready; bit 2: sockB is ready; 0: timed out; -1: the wait itself
// failed.
int SockWaitReadable(SOCKET_HANDLE sockA, SOCKET_HANDLE sockB, int nTimeoutMs);

// Accepts one waiting connection; NO_SOCKET on failure. The connection
// sends small writes at once (no Nagle delay), as SockConnectIPv4's do:
// it has that from the listening socket, which SockListenLoopback made so.
// On a listening socket put into non-blocking mode (SockSetNonBlocking) it
// gives NO_SOCKET at once when no connection waits, and the connection it
// gives is non-blocking as well, in both halves alike.
SOCKET_HANDLE SockAccept(SOCKET_HANDLE sockListen);

// A dotted IPv4 address is converted directly; any other name is resolved and
// the first IPv4 address of the answer is taken. *pAddr is in network order.
BOOL SockResolveIPv4(LPCTSTR pszHost, DWORD* pAddr);

// Only the dotted form, converted without asking a name server; FALSE for
// anything else. Lets a caller that bounds its lookups skip the bound.
BOOL SockParseIPv4(LPCTSTR pszHost, DWORD* pAddr);

// A TCP connection to an IPv4 address (network order) and a port (host
// order); NO_SOCKET when the socket cannot be made or the connection fails.
// Small writes go out at once: a relay that sends an answer's head and body
// in two writes must not have the second wait for the first one's
// (delayed) acknowledgement, which cost about 40 ms per answer.
SOCKET_HANDLE SockConnectIPv4(DWORD dwAddr, WORD nPort);

// A TCP connection to an IPv6 address (16 bytes, network order) and a port
// (host order), as SockConnectIPv4 makes one; NO_SOCKET when the system
// has no IPv6 or the connection fails. For addresses written as such only:
// names are IPv4 here.
SOCKET_HANDLE SockConnectIPv6(const unsigned char* pAddr, WORD nPort);

// The same, giving up after dwLimitMs: a host that drops the handshake would
// otherwise hold the caller for the system's own limit, minutes long.
SOCKET_HANDLE SockConnectIPv4Within(DWORD dwAddr, WORD nPort, DWORD dwLimitMs);

// What SockRecv gives on a non-blocking socket that has nothing yet.
const int SOCK_NOTHING_YET = -2;

// One receive: the byte count, 0 when the peer closed, -1 on error; on a
// socket put into non-blocking mode, SOCK_NOTHING_YET instead of waiting.
int SockRecv(SOCKET_HANDLE s, char* pBuf, int nLen);

// Puts a connection (or a listening socket) into non-blocking mode for the
// rest of its life, so a
// receive can be tried before waiting: under Wine a wait is one more round
// trip to the wineserver per receive, and a bulk transfer mostly finds data
// already there. FALSE when the system refused (the socket stays blocking).
BOOL SockSetNonBlocking(SOCKET_HANDLE s);

// Sends all nLen bytes, continuing after partial sends (and, on a
// non-blocking socket, waiting for room). FALSE when the connection failed
// before everything was handed over, or, on a non-blocking socket with
// nStallMs not -1, when the peer took no byte for nStallMs: a peer that
// never reads would otherwise hold the sender for as long as it keeps the
// connection. A blocking socket's send waits as the system lets it.
BOOL SockSendAll(SOCKET_HANDLE s, const char* pData, int nLen, int nStallMs = -1);

// Shuts down the sending direction only: the peer reads the end of the
// stream, and this side can still receive its answer.
void SockShutdownSend(SOCKET_HANDLE s);

// Shuts down both directions; a receive blocked on the socket in another
// thread returns (the socket itself stays valid until SockClose).
void SockShutdownBoth(SOCKET_HANDLE s);

// One send on a non-blocking socket: the bytes handed over (maybe fewer
// than nLen), SOCK_NOTHING_YET when there is no room now, -1 on error.
int SockSendSome(SOCKET_HANDLE s, const char* pData, int nLen);

// Many connections at once on one thread (testing a whole proxy list): a
// non-blocking TCP connection to an IPv4 address (network order) and a port
// (host order), its connect under way. NO_SOCKET when the socket cannot be
// made or the connect failed at once. The connection stays non-blocking and
// sends small writes at once.
SOCKET_HANDLE SockConnectIPv4Begin(DWORD dwAddr, WORD nPort);

// What a socket of SockWaitMany is waited for, and what came of it.
enum {
    SOCK_WANT_READ = 1,    // something to receive (data, the peer's close, an error)
    SOCK_WANT_WRITE = 2,   // room to send
    SOCK_WANT_CONNECT = 4, // the end of a SockConnectIPv4Begin connect
};
enum {
    SOCK_READY_READ = 1,
    SOCK_READY_WRITE = 2,
    SOCK_READY_CONNECTED = 4,
    SOCK_READY_CONNECT_FAILED = 8,
};
struct SOCK_WAIT_ITEM {
    SOCKET_HANDLE s;
    int nWant;  // one SOCK_WANT_ value
    int nReady; // set by the wait: SOCK_READY_ bits, 0 when nothing happened
};
// The most items one wait takes: a whole published list's worth of
// connections in flight. (POSIX's select stops at 1024 descriptors; this
// seam waits with poll there, and with sets of its own size on Winsock.)
const int SOCK_WAIT_MAX = 8192;

// Waits until at least one item is ready or nTimeoutMs passed (-1: no
// limit), in one call for all of them. A stand-alone datagram socket
// (SockOpenWaker) among the read items lets another thread end the wait.
// The count of ready items, 0 when timed out, -1 when the wait itself failed
// or nCount is above SOCK_WAIT_MAX.
int SockWaitMany(SOCK_WAIT_ITEM* pItems, int nCount, int nTimeoutMs);

void SockClose(SOCKET_HANDLE s);

// Sockets handed out by this seam and not yet closed, process-wide. Lets
// tests see leaks and double closes.
long SockOpenCount();

// How often SockResolveIPv4 asked the system's resolver about this name
// (dotted addresses are never asked about), process-wide. Lets tests see a
// name that must go to a proxy looked up here; SockRecordLookup is the
// halves' note of each lookup.
long SockLookupsOf(LPCTSTR pszHost);
void SockRecordLookup(LPCTSTR pszHost);
