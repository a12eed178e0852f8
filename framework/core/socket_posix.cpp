// POSIX half of the socket seam: BSD sockets behind socket_api.h.
#include "framework/core/socket_api.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <vector>

namespace {

std::atomic<long> g_nOpenSockets{0};

SOCKET_HANDLE Counted(int fd)
{
    if (fd < 0) return NO_SOCKET;
    g_nOpenSockets.fetch_add(1);
    return static_cast<SOCKET_HANDLE>(fd);
}

int Fd(SOCKET_HANDLE s)
{
    return static_cast<int>(s);
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

WORD BoundPort(int fd)
{
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

// No Nagle delay for a connection's small writes (see SockConnectIPv4).
void SendAtOnce(int fd)
{
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// 0 once the connection that connect started has been made; -1 when it
// failed.
int FinishInterruptedConnect(int fd)
{
    pollfd p;
    p.fd = fd;
    p.events = POLLOUT;
    p.revents = 0;
    int n;
    do {
        n = poll(&p, 1, -1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) return -1;
    int nError = 0;
    socklen_t len = sizeof nError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &len) != 0 || nError != 0) return -1;
    return 0;
}

} // namespace

BOOL SockInitOnce()
{
    return TRUE;
}

SOCKET_HANDLE SockListenLoopback(WORD nPort, WORD* pBoundPort)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return NO_SOCKET;
    // Lets a restart bind again while closed connections of the previous
    // listener linger in TIME_WAIT; a second listener on the port still fails.
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted connections inherit it (see SockAccept).
    SendAtOnce(fd);
    sockaddr_in sa = LoopbackAddress(nPort);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, SOMAXCONN) != 0) {
        close(fd);
        return NO_SOCKET;
    }
    if (pBoundPort) *pBoundPort = BoundPort(fd);
    return Counted(fd);
}

SOCKET_HANDLE SockOpenWaker(WORD* pPort)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return NO_SOCKET;
    sockaddr_in sa = LoopbackAddress(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return NO_SOCKET;
    }
    if (pPort) *pPort = BoundPort(fd);
    return Counted(fd);
}

BOOL SockWakeListener(WORD nWakePort)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return FALSE;
    sockaddr_in sa = LoopbackAddress(nWakePort);
    char byte = 0;
    ssize_t n = sendto(fd, &byte, 1, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    close(fd);
    return n == 1;
}

int SockWaitForConnection(SOCKET_HANDLE sockListen, SOCKET_HANDLE sockWaker, int nTimeoutMs)
{
    pollfd fds[2];
    fds[0].fd = Fd(sockListen);
    fds[0].events = POLLIN;
    fds[0].revents = 0;
    fds[1].fd = Fd(sockWaker);
    fds[1].events = POLLIN;
    fds[1].revents = 0;
    int n = poll(fds, 2, nTimeoutMs);
    if (n < 0) return errno == EINTR ? 0 : -1;
    if (fds[1].revents != 0) {
        // Take the datagram off the waker: left there, it would end every
        // later wait at once, and a datagram from any other local program
        // would keep the listener spinning instead of accepting.
        char byte;
        recv(Fd(sockWaker), &byte, 1, MSG_DONTWAIT);
        return 0;
    }
    if (fds[0].revents & (POLLERR | POLLNVAL)) return -1;
    return (fds[0].revents & POLLIN) ? 1 : 0;
}

int SockWaitReadable(SOCKET_HANDLE sockA, SOCKET_HANDLE sockB, int nTimeoutMs)
{
    // poll leaves out a negative descriptor: NO_SOCKET is not waited on.
    pollfd fds[2];
    fds[0].fd = sockA == NO_SOCKET ? -1 : Fd(sockA);
    fds[1].fd = sockB == NO_SOCKET ? -1 : Fd(sockB);
    for (pollfd& f : fds) {
        f.events = POLLIN;
        f.revents = 0;
    }
    int n;
    do {
        n = poll(fds, 2, nTimeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    // A hang-up or an error is "ready" too: the receive that follows says so.
    int nReady = 0;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) nReady |= 1;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) nReady |= 2;
    if ((fds[0].revents | fds[1].revents) & POLLNVAL) return -1;
    return nReady;
}

SOCKET_HANDLE SockAccept(SOCKET_HANDLE sockListen)
{
    // No Nagle delay: inherited from the listening socket, like the other
    // TCP options. Nobody asks for the peer's address. Winsock hands the
    // listening socket's non-blocking mode on to the connection; Linux does
    // not, so it is asked for here, and both halves behave alike.
    int nFlags = SOCK_CLOEXEC;
    const int nListenFlags = fcntl(Fd(sockListen), F_GETFL);
    if (nListenFlags >= 0 && (nListenFlags & O_NONBLOCK)) nFlags |= SOCK_NONBLOCK;
    return Counted(accept4(Fd(sockListen), nullptr, nullptr, nFlags));
}

BOOL SockResolveIPv4(LPCTSTR pszHost, DWORD* pAddr)
{
    if (!pszHost || !*pszHost) return FALSE;
    in_addr a;
    if (inet_pton(AF_INET, pszHost, &a) == 1) {
        *pAddr = a.s_addr;
        return TRUE;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    SockRecordLookup(pszHost);
    addrinfo* res = nullptr;
    if (getaddrinfo(pszHost, nullptr, &hints, &res) != 0 || !res) return FALSE;
    *pAddr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return TRUE;
}

BOOL SockParseIPv4(LPCTSTR pszHost, DWORD* pAddr)
{
    in_addr a;
    if (!pszHost || inet_pton(AF_INET, pszHost, &a) != 1) return FALSE;
    *pAddr = a.s_addr;
    return TRUE;
}

SOCKET_HANDLE SockConnectIPv4(DWORD dwAddr, WORD nPort)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return NO_SOCKET;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    // A signal that interrupts connect leaves the connection being made; a
    // second connect may then fail with EALREADY (POSIX allows it, and only
    // Linux waits instead). Wait for the first one to complete.
    if (rc != 0 && errno == EINTR) rc = FinishInterruptedConnect(fd);
    if (rc != 0) {
        close(fd);
        return NO_SOCKET;
    }
    SendAtOnce(fd);
    return Counted(fd);
}

SOCKET_HANDLE SockConnectIPv6(const unsigned char* pAddr, WORD nPort)
{
    int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return NO_SOCKET;
    sockaddr_in6 sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin6_family = AF_INET6;
    std::memcpy(&sa.sin6_addr, pAddr, 16);
    sa.sin6_port = htons(nPort);
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINTR) rc = FinishInterruptedConnect(fd);
    if (rc != 0) {
        close(fd);
        return NO_SOCKET;
    }
    SendAtOnce(fd);
    return Counted(fd);
}

int SockRecv(SOCKET_HANDLE s, char* pBuf, int nLen)
{
    ssize_t n;
    do {
        n = recv(Fd(s), pBuf, static_cast<size_t>(nLen), 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK ? SOCK_NOTHING_YET : -1;
}

BOOL SockSetNonBlocking(SOCKET_HANDLE s)
{
    int flags = fcntl(Fd(s), F_GETFL);
    return flags >= 0 && fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

BOOL SockSendAll(SOCKET_HANDLE s, const char* pData, int nLen, int nStallMs)
{
    while (nLen > 0) {
        // MSG_NOSIGNAL: a browser that went away is an error result here,
        // not a signal that ends the process.
        ssize_t n = send(Fd(s), pData, static_cast<size_t>(nLen), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A non-blocking socket without room: wait for some (an error
            // or hang-up ends the wait too, and the next send reports it).
            // Each byte taken starts the bound afresh: a slow reader is not
            // a stalled one.
            pollfd p = {Fd(s), POLLOUT, 0};
            int rc;
            do {
                rc = poll(&p, 1, nStallMs);
            } while (rc < 0 && errno == EINTR);
            if (rc <= 0) return FALSE;
            continue;
        }
        if (n <= 0) return FALSE;
        pData += n;
        nLen -= static_cast<int>(n);
    }
    return TRUE;
}

void SockShutdownSend(SOCKET_HANDLE s)
{
    shutdown(Fd(s), SHUT_WR);
}

void SockShutdownBoth(SOCKET_HANDLE s)
{
    shutdown(Fd(s), SHUT_RDWR);
}

void SockClose(SOCKET_HANDLE s)
{
    if (s == NO_SOCKET) return;
    g_nOpenSockets.fetch_sub(1);
    close(Fd(s));
}

long SockOpenCount()
{
    return g_nOpenSockets.load();
}

SOCKET_HANDLE SockConnectIPv4Within(DWORD dwAddr, WORD nPort, DWORD dwLimitMs)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) return NO_SOCKET;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    BOOL bConnected = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    // An interrupted connect goes on in the background: wait for it the same
    // way as for one still in progress.
    if (!bConnected && (errno == EINPROGRESS || errno == EINTR)) {
        pollfd pfd = {fd, POLLOUT, 0};
        int rc;
        do {
            rc = poll(&pfd, 1, static_cast<int>(dwLimitMs > 0x7FFFFFFF ? 0x7FFFFFFF : dwLimitMs));
        } while (rc < 0 && errno == EINTR);
        if (rc == 1) {
            int error = 0;
            socklen_t size = sizeof error;
            bConnected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
    }
    if (bConnected) {
        int flags = fcntl(fd, F_GETFL);
        bConnected = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    }
    if (!bConnected) {
        close(fd);
        return NO_SOCKET;
    }
    return Counted(fd);
}

int SockSendSome(SOCKET_HANDLE s, const char* pData, int nLen)
{
    ssize_t n;
    do {
        n = send(Fd(s), pData, static_cast<size_t>(nLen), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK ? SOCK_NOTHING_YET : -1;
}

SOCKET_HANDLE SockConnectIPv4Begin(DWORD dwAddr, WORD nPort)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) return NO_SOCKET;
    sockaddr_in sa = IPv4Address(dwAddr, nPort);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS && errno != EINTR) {
        close(fd);
        return NO_SOCKET;
    }
    SendAtOnce(fd);
    return Counted(fd);
}

int SockWaitMany(SOCK_WAIT_ITEM* pItems, int nCount, int nTimeoutMs)
{
    if (nCount < 0 || nCount > SOCK_WAIT_MAX) return -1;
    std::vector<pollfd> fds;
    try {
        fds.resize(static_cast<size_t>(nCount));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (int i = 0; i < nCount; ++i) {
        pItems[i].nReady = 0;
        fds[static_cast<size_t>(i)].fd = Fd(pItems[i].s);
        fds[static_cast<size_t>(i)].events = pItems[i].nWant == SOCK_WANT_READ ? POLLIN : POLLOUT;
        fds[static_cast<size_t>(i)].revents = 0;
    }
    int n;
    do {
        n = poll(fds.data(), static_cast<nfds_t>(nCount), nTimeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n < 0 ? -1 : 0;
    int nReady = 0;
    for (int i = 0; i < nCount; ++i) {
        SOCK_WAIT_ITEM& item = pItems[i];
        short revents = fds[static_cast<size_t>(i)].revents;
        if (!revents) continue;
        if (item.nWant == SOCK_WANT_READ) item.nReady = SOCK_READY_READ;
        if (item.nWant == SOCK_WANT_WRITE) item.nReady = SOCK_READY_WRITE;
        if (item.nWant == SOCK_WANT_CONNECT) {
            int nError = 0;
            socklen_t len = sizeof nError;
            BOOL bMade = getsockopt(Fd(item.s), SOL_SOCKET, SO_ERROR, &nError, &len) == 0 && nError == 0 &&
                         !(revents & (POLLERR | POLLHUP));
            item.nReady = bMade ? SOCK_READY_CONNECTED : SOCK_READY_CONNECT_FAILED;
        }
        ++nReady;
    }
    return nReady;
}
