// Win32 half of the socket seam: Winsock calls behind socket_api.h.
#include "framework/core/socket_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace {

std::atomic<long> g_nOpenSockets{0};

SOCKET_HANDLE Counted(SOCKET s)
{
    if (s == INVALID_SOCKET) return NO_SOCKET;
    g_nOpenSockets.fetch_add(1);
    return static_cast<SOCKET_HANDLE>(s);
}

SOCKET Sock(SOCKET_HANDLE s)
{
    return static_cast<SOCKET>(s);
}

// dwAddr in network order, nPort in host order.
sockaddr_in IPv4Address(DWORD dwAddr, WORD nPort)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = dwAddr;
    sa.sin_port = htons(nPort);
    return sa;
}

sockaddr_in LoopbackAddress(WORD nPort)
{
    return IPv4Address(htonl(INADDR_LOOPBACK), nPort);
}

WORD BoundPort(SOCKET s)
{
    sockaddr_in sa;
    int len = sizeof sa;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

// No Nagle delay for a connection's small writes (see SockConnectIPv4).
void SendAtOnce(SOCKET s)
{
    BOOL bOn = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bOn), sizeof bOn);
}

// Four decimal numbers of 0 to 255 joined by dots, nothing else (the form
// inet_pton accepts); *pAddr in network order.
BOOL ParseDottedQuad(LPCTSTR psz, DWORD* pAddr)
{
    unsigned char parts[4];
    for (int i = 0; i < 4; ++i) {
        if (*psz < '0' || *psz > '9') return FALSE;
        int n = 0, nDigits = 0;
        while (*psz >= '0' && *psz <= '9') {
            n = n * 10 + (*psz++ - '0');
            if (++nDigits > 3 || n > 255) return FALSE;
        }
        parts[i] = static_cast<unsigned char>(n);
        if (i < 3 && *psz++ != '.') return FALSE;
    }
    if (*psz) return FALSE;
    std::memcpy(pAddr, parts, 4);
    return TRUE;
}

} // namespace

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
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&bExclusive), sizeof bExclusive);
    // Accepted connections inherit it (see SockAccept).
    SendAtOnce(s);
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

int SockWaitReadable(SOCKET_HANDLE sockA, SOCKET_HANDLE sockB, int nTimeoutMs)
{
    // The read set only, no except set: a close or a reset is reported as
    // readable anyway (the receive that follows says which). Wine 8 checks a
    // socket that is in both sets twice in one request; a close that lands
    // between the two checks marks the socket failed without completing the
    // select and drops it from the wineserver's watch, so nothing ever wakes
    // the wait again and the relay's thread and both sockets stay for good
    // (seen after a thousand browsers closed at once).
    fd_set readable;
    FD_ZERO(&readable);
    for (SOCKET_HANDLE s : {sockA, sockB}) {
        if (s == NO_SOCKET) continue;
        FD_SET(Sock(s), &readable);
    }
    timeval tv;
    tv.tv_sec = nTimeoutMs / 1000;
    tv.tv_usec = (nTimeoutMs % 1000) * 1000;
    int n = select(0, &readable, nullptr, nullptr, nTimeoutMs < 0 ? nullptr : &tv);
    if (n == SOCKET_ERROR) return -1;
    int nReady = 0;
    if (sockA != NO_SOCKET && FD_ISSET(Sock(sockA), &readable)) nReady |= 1;
    if (sockB != NO_SOCKET && FD_ISSET(Sock(sockB), &readable)) nReady |= 2;
    return nReady;
}

SOCKET_HANDLE SockAccept(SOCKET_HANDLE sockListen)
{
    // No Nagle delay: an accepted socket has the listening socket's options.
    // Under Wine a setsockopt here, and asking for the peer's address, would
    // each be another round trip to the wineserver for every connection.
    return Counted(accept(Sock(sockListen), nullptr, nullptr));
}

BOOL SockResolveIPv4(LPCTSTR pszHost, DWORD* pAddr)
{
    if (!pszHost || !*pszHost) return FALSE;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    // A dotted address is taken as it stands, without asking a name server
    // and without getaddrinfo, which under Wine is a call into the host
    // system for every connection.
    if (ParseDottedQuad(pszHost, pAddr)) return TRUE;
    SockRecordLookup(pszHost);
    addrinfo* res = nullptr;
    if (getaddrinfo(pszHost, nullptr, &hints, &res) != 0 || !res) return FALSE;
    *pAddr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return TRUE;
}

BOOL SockParseIPv4(LPCTSTR pszHost, DWORD* pAddr)
{
    return pszHost && ParseDottedQuad(pszHost, pAddr);
}

SOCKET_HANDLE SockConnectIPv4(DWORD dwAddr, WORD nPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closesocket(s);
        return NO_SOCKET;
    }
    SendAtOnce(s);
    return Counted(s);
}

SOCKET_HANDLE SockConnectIPv6(const unsigned char* pAddr, WORD nPort)
{
    SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in6 sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin6_family = AF_INET6;
    std::memcpy(&sa.sin6_addr, pAddr, 16);
    sa.sin6_port = htons(nPort);
    if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closesocket(s);
        return NO_SOCKET;
    }
    SendAtOnce(s);
    return Counted(s);
}

int SockRecv(SOCKET_HANDLE s, char* pBuf, int nLen)
{
    int n = recv(Sock(s), pBuf, nLen, 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? SOCK_NOTHING_YET : -1;
}

BOOL SockSetNonBlocking(SOCKET_HANDLE s)
{
    u_long nonBlocking = 1;
    return ioctlsocket(Sock(s), FIONBIO, &nonBlocking) == 0;
}

namespace {

// A non-blocking socket's send found no room: wait until it has some (or
// failed, which the next send reports), at most nTimeoutMs (-1: no limit).
// FALSE when the wait failed or ran out.
BOOL WaitWritable(SOCKET s, int nTimeoutMs)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv;
    tv.tv_sec = nTimeoutMs / 1000;
    tv.tv_usec = (nTimeoutMs % 1000) * 1000;
    return select(0, nullptr, &writable, &failed, nTimeoutMs < 0 ? nullptr : &tv) > 0;
}

} // namespace

BOOL SockSendAll(SOCKET_HANDLE s, const char* pData, int nLen, int nStallMs)
{
    while (nLen > 0) {
        int n = send(Sock(s), pData, nLen, 0);
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            // Each byte taken starts the bound afresh: a slow reader is not
            // a stalled one.
            if (!WaitWritable(Sock(s), nStallMs)) return FALSE;
            continue;
        }
        if (n == SOCKET_ERROR || n <= 0) return FALSE;
        pData += n;
        nLen -= n;
    }
    return TRUE;
}

void SockShutdownSend(SOCKET_HANDLE s)
{
    shutdown(Sock(s), SD_SEND);
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

SOCKET_HANDLE SockConnectIPv4Within(DWORD dwAddr, WORD nPort, DWORD dwLimitMs)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    u_long nonBlocking = 1;
    BOOL bConnected = FALSE;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
        bConnected = connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        if (!bConnected && WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval limit;
            limit.tv_sec = static_cast<long>(dwLimitMs / 1000);
            limit.tv_usec = static_cast<long>(dwLimitMs % 1000) * 1000;
            if (select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(s, &writable)) {
                int error = 0;
                int size = sizeof error;
                bConnected =
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
            }
        }
        u_long blocking = 0;
        if (bConnected && ioctlsocket(s, FIONBIO, &blocking) != 0) bConnected = FALSE;
    }
    if (!bConnected) {
        closesocket(s);
        return NO_SOCKET;
    }
    return Counted(s);
}

int SockSendSome(SOCKET_HANDLE s, const char* pData, int nLen)
{
    int n = send(Sock(s), pData, nLen, 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? SOCK_NOTHING_YET : -1;
}

SOCKET_HANDLE SockConnectIPv4Begin(DWORD dwAddr, WORD nPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return NO_SOCKET;
    u_long nonBlocking = 1;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
        closesocket(s);
        return NO_SOCKET;
    }
    SendAtOnce(s);
    return Counted(s);
}

namespace {

// Winsock's fd_set is a count and an array that only FD_SETSIZE (64) sizes;
// select reads as many entries as the count says, so the same layout with a
// longer array carries a whole list's connections in one wait. (WSAPoll
// would take any number too, but Windows before 10 2004 never reports a
// refused connect through it; WSAWaitForMultipleEvents stops at 64.)
struct CWideFdSet {
    u_int fd_count;
    SOCKET fd_array[SOCK_WAIT_MAX];

    void Add(SOCKET s) { fd_array[fd_count++] = s; }
    fd_set* Get() { return fd_count ? reinterpret_cast<fd_set*>(this) : nullptr; }
    // After the wait the set holds the ready ones only; sorted, each item
    // is found in a few steps instead of a scan of them all.
    void Sort() { std::sort(fd_array, fd_array + fd_count); }
    bool Has(SOCKET s) const { return std::binary_search(fd_array, fd_array + fd_count, s); }
};

struct CWideFdSets {
    CWideFdSet readable, writable, failed;
};

} // namespace

int SockWaitMany(SOCK_WAIT_ITEM* pItems, int nCount, int nTimeoutMs)
{
    if (nCount < 0 || nCount > SOCK_WAIT_MAX) return -1;
    std::unique_ptr<CWideFdSets> pSets(new (std::nothrow) CWideFdSets);
    if (!pSets) return -1;
    CWideFdSets& sets = *pSets;
    sets.readable.fd_count = sets.writable.fd_count = sets.failed.fd_count = 0;
    // No socket is in the read and the except set together: Wine 8 can lose
    // a hang-up of such a socket (see SockWaitReadable). A connect's failure
    // shows in the except set, its success in the write set.
    for (int i = 0; i < nCount; ++i) {
        pItems[i].nReady = 0;
        SOCKET s = Sock(pItems[i].s);
        if (pItems[i].nWant == SOCK_WANT_READ) sets.readable.Add(s);
        if (pItems[i].nWant == SOCK_WANT_WRITE || pItems[i].nWant == SOCK_WANT_CONNECT) sets.writable.Add(s);
        if (pItems[i].nWant == SOCK_WANT_CONNECT) sets.failed.Add(s);
    }
    timeval tv;
    tv.tv_sec = nTimeoutMs / 1000;
    tv.tv_usec = (nTimeoutMs % 1000) * 1000;
    int n = select(0, sets.readable.Get(), sets.writable.Get(), sets.failed.Get(), nTimeoutMs < 0 ? nullptr : &tv);
    if (n == SOCKET_ERROR) return -1;
    if (n == 0) return 0;
    sets.readable.Sort();
    sets.writable.Sort();
    sets.failed.Sort();
    int nReady = 0;
    for (int i = 0; i < nCount; ++i) {
        SOCK_WAIT_ITEM& item = pItems[i];
        SOCKET s = Sock(item.s);
        if (item.nWant == SOCK_WANT_READ && sets.readable.Has(s)) item.nReady = SOCK_READY_READ;
        if (item.nWant == SOCK_WANT_WRITE && sets.writable.Has(s)) item.nReady = SOCK_READY_WRITE;
        if (item.nWant == SOCK_WANT_CONNECT) {
            if (sets.failed.Has(s))
                item.nReady = SOCK_READY_CONNECT_FAILED;
            else if (sets.writable.Has(s))
                item.nReady = SOCK_READY_CONNECTED;
        }
        if (item.nReady) ++nReady;
    }
    return nReady;
}
