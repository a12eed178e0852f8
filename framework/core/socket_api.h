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

// Accepts one waiting connection; NO_SOCKET on failure.
SOCKET_HANDLE SockAccept(SOCKET_HANDLE sockListen);

// A dotted IPv4 address is converted directly; any other name is resolved and
// the first IPv4 address of the answer is taken. *pAddr is in network order.
BOOL SockResolveIPv4(LPCTSTR pszHost, DWORD* pAddr);

// A TCP connection to an IPv4 address (network order) and a port (host
// order); NO_SOCKET when the socket cannot be made or the connection fails.
SOCKET_HANDLE SockConnectIPv4(DWORD dwAddr, WORD nPort);

// One receive: the byte count, 0 when the peer closed, -1 on error.
int SockRecv(SOCKET_HANDLE s, char* pBuf, int nLen);

// Sends all nLen bytes, continuing after partial sends. FALSE when the
// connection failed before everything was handed over.
BOOL SockSendAll(SOCKET_HANDLE s, const char* pData, int nLen);

// Shuts down both directions; a receive blocked on the socket in another
// thread returns (the socket itself stays valid until SockClose).
void SockShutdownBoth(SOCKET_HANDLE s);

void SockClose(SOCKET_HANDLE s);

// Sockets handed out by this seam and not yet closed, process-wide. Lets
// tests see leaks and double closes.
long SockOpenCount();
