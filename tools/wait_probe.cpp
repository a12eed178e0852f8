// wait-probe: how many wineserver requests one wait-and-receive costs under
// Wine, for each way Winsock offers to wait. It accepts one connection on
// 127.0.0.1:PORT and answers each byte it receives with one byte, ROUNDS
// times, waiting for every byte in the way MODE says:
//   select  select on the socket (and an idle second one, as the relay
//           waits on two), then recv
//   try     a non-blocking recv first, select and recv only when it found
//           nothing
//   recv    a blocking recv alone, no wait before it (nor on the second)
//   fionread  the count of bytes waiting first, select only when none
//   poll    WSAPoll on both, then recv
//   iocp    an overlapped WSARecv posted ahead, its completion taken from a
//           completion port
// Counted from outside (strace on the process); see tools/bench/wine_round_trips.
// WSAPoll is declared for Vista and later; the program itself targets XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool WaitSelect(SOCKET s, SOCKET idle)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    FD_SET(idle, &readable);
    return select(0, &readable, nullptr, nullptr, nullptr) > 0;
}

bool WaitPoll(SOCKET s, SOCKET idle)
{
    WSAPOLLFD fds[2];
    std::memset(fds, 0, sizeof fds);
    fds[0].fd = s;
    fds[0].events = POLLRDNORM;
    fds[1].fd = idle;
    fds[1].events = POLLRDNORM;
    return WSAPoll(fds, 2, -1) > 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: wait-probe select|recv|try|fionread|poll|iocp PORT ROUNDS\n");
        return 2;
    }
    const char* mode = argv[1];
    const int nRounds = std::atoi(argv[3]);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<u_short>(std::atoi(argv[2])));
    if (bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 4) != 0) return 1;
    std::printf("listening\n");
    std::fflush(stdout);
    SOCKET s = accept(listener, nullptr, nullptr);
    SOCKET idle = accept(listener, nullptr, nullptr); // the client's second connection, never used
    const bool bIocp = std::strcmp(mode, "iocp") == 0;
    HANDLE port = nullptr;
    if (bIocp) port = CreateIoCompletionPort(reinterpret_cast<HANDLE>(s), nullptr, 1, 1);
    if (std::strcmp(mode, "try") == 0) {
        u_long on = 1;
        ioctlsocket(s, FIONBIO, &on);
    }
    char buf[4096];
    int nDone = 0;
    while (nDone < nRounds) {
        int n = 0;
        if (bIocp) {
            WSABUF wb;
            wb.buf = buf;
            wb.len = sizeof buf;
            DWORD dwFlags = 0, dwGot = 0;
            WSAOVERLAPPED ov;
            std::memset(&ov, 0, sizeof ov);
            if (WSARecv(s, &wb, 1, nullptr, &dwFlags, &ov, nullptr) != 0 && WSAGetLastError() != WSA_IO_PENDING) break;
            ULONG_PTR key = 0;
            LPOVERLAPPED pDone = nullptr;
            if (!GetQueuedCompletionStatus(port, &dwGot, &key, &pDone, INFINITE)) break;
            n = static_cast<int>(dwGot);
        } else if (std::strcmp(mode, "recv") == 0) {
            n = recv(s, buf, sizeof buf, 0);
        } else if (std::strcmp(mode, "fionread") == 0) {
            u_long nWaiting = 0;
            if ((ioctlsocket(s, FIONREAD, &nWaiting) != 0 || nWaiting == 0) && !WaitSelect(s, idle)) break;
            n = recv(s, buf, sizeof buf, 0);
        } else if (std::strcmp(mode, "try") == 0) {
            n = recv(s, buf, sizeof buf, 0);
            if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
                if (!WaitSelect(s, idle)) break;
                n = recv(s, buf, sizeof buf, 0);
            }
        } else {
            if (!(std::strcmp(mode, "poll") == 0 ? WaitPoll(s, idle) : WaitSelect(s, idle))) break;
            n = recv(s, buf, sizeof buf, 0);
        }
        if (n <= 0) break;
        nDone += n;
        send(s, buf, n, 0);
    }
    closesocket(s);
    closesocket(idle);
    closesocket(listener);
    return 0;
}
