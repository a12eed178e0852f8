// Win32 half of the socket seam: Winsock calls behind socket_api.h.
#include "framework/core/socket_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<long> g_nOpenSockets{0};

SOCKET_HANDLE Counted(SOCKET s)
{
    if (s == INVALID_SOCKET) return NO_SOCKET;
    g_nOpenSockets.fetch_add(1);
    return static_cast<SOCKET_HANDLE>(s);
}

SOCKET Sock(SOCKET_HANDLE s) { return static_cast<SOCKET>(s); }

sockaddr_in LoopbackAddress(WORD nPort)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(nPort);
    return sa;
}

WORD BoundPort(SOCKET s)
{
    sockaddr_in sa;
    int len = sizeof sa;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

}  // namespace

BOOL SockInitOnce()
{
    // One start-up for the life of the process and no clean-up: a clean-up
    // when the listener ends would cut the connections still being relayed.
    static const BOOL bStarted = [] {
        WSADATA wsa;
        return WSAStartup(MAKEWORD(2, 2), &wsa) == 0 ? TRUE : FALSE;
    }();
    return bStarted;
}

SOCKET_HANDLE SockListenLoopback(WORD nPort, WORD* pBoundPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    // No other program may take over the port while we listen on it.
    BOOL bExclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&bExclusive),
               sizeof bExclusive);
    sockaddr_in sa = LoopbackAddress(nPort);
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, SOMAXCONN) != 0) {
        closesocket(s);
        return NO_SOCKET;
    }
    if (pBoundPort) *pBoundPort = BoundPort(s);
    return Counted(s);
}

SOCKET_HANDLE SockOpenWaker(WORD* pPort)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in sa = LoopbackAddress(0);
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closesocket(s);
        return NO_SOCKET;
    }
    if (pPort) *pPort = BoundPort(s);
    return Counted(s);
}

BOOL SockWakeListener(WORD nWakePort)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return FALSE;
    sockaddr_in sa = LoopbackAddress(nWakePort);
    char byte = 0;
    int n = sendto(s, &byte, 1, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    closesocket(s);
    return n == 1;
}

int SockWaitForConnection(SOCKET_HANDLE sockListen, SOCKET_HANDLE sockWaker, int nTimeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Sock(sockListen), &readable);
    FD_SET(Sock(sockWaker), &readable);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(Sock(sockListen), &failed);
    timeval tv;
    tv.tv_sec = nTimeoutMs / 1000;
    tv.tv_usec = (nTimeoutMs % 1000) * 1000;
    int n = select(0, &readable, nullptr, &failed, &tv);
    if (n == SOCKET_ERROR) return -1;
    if (FD_ISSET(Sock(sockWaker), &readable)) {
        // Take the datagram off the waker: left there, it would end every
        // later wait at once, and a datagram from any other local program
        // would keep the listener spinning instead of accepting. select said
        // it is there, so this receive does not block; a longer datagram is
        // dropped whole (WSAEMSGSIZE).
        char byte;
        recv(Sock(sockWaker), &byte, 1, 0);
        return 0;
    }
    if (FD_ISSET(Sock(sockListen), &failed)) return -1;
    return FD_ISSET(Sock(sockListen), &readable) ? 1 : 0;
}

SOCKET_HANDLE SockAccept(SOCKET_HANDLE sockListen)
{
    sockaddr_in peer;
    int len = sizeof peer;
    return Counted(accept(Sock(sockListen), reinterpret_cast<sockaddr*>(&peer), &len));
}

BOOL SockResolveIPv4(LPCTSTR pszHost, DWORD* pAddr)
{
    if (!pszHost || !*pszHost) return FALSE;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    // A dotted address is taken as it stands, without asking a name server.
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(pszHost, nullptr, &hints, &res) != 0 || !res) {
        hints.ai_flags = 0;
        res = nullptr;
        if (getaddrinfo(pszHost, nullptr, &hints, &res) != 0 || !res) return FALSE;
    }
    *pAddr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return TRUE;
}

SOCKET_HANDLE SockConnectIPv4(DWORD dwAddr, WORD nPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = dwAddr;
    sa.sin_port = htons(nPort);
    if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closesocket(s);
        return NO_SOCKET;
    }
    return Counted(s);
}

int SockRecv(SOCKET_HANDLE s, char* pBuf, int nLen)
{
    int n = recv(Sock(s), pBuf, nLen, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

BOOL SockSendAll(SOCKET_HANDLE s, const char* pData, int nLen)
{
    while (nLen > 0) {
        int n = send(Sock(s), pData, nLen, 0);
        if (n == SOCKET_ERROR || n <= 0) return FALSE;
        pData += n;
        nLen -= n;
    }
    return TRUE;
}

void SockShutdownBoth(SOCKET_HANDLE s)
{
    shutdown(Sock(s), SD_BOTH);
}

void SockClose(SOCKET_HANDLE s)
{
    if (s == NO_SOCKET) return;
    g_nOpenSockets.fetch_sub(1);
    closesocket(Sock(s));
}

long SockOpenCount()
{
    return g_nOpenSockets.load();
}
