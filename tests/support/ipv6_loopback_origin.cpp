// The [::1] origin, on Winsock or BSD sockets.
#include "support/ipv6_loopback_origin.h"

#include "framework/core/socket_api.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef int socklen_t;
#define CloseSocket closesocket
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#define CloseSocket close
#define INVALID_SOCKET (-1)
typedef int SOCKET;
#endif

CIPv6LoopbackOrigin::CIPv6LoopbackOrigin(const std::string& answer) : m_answer(answer)
{
    m_sock = static_cast<std::uintptr_t>(INVALID_SOCKET);
    if (!SockInitOnce()) return;
    SOCKET s = socket(AF_INET6, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return;
    sockaddr_in6 sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin6_family = AF_INET6;
    sa.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof sa;
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 8) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        CloseSocket(s);
        return;
    }
    m_sock = static_cast<std::uintptr_t>(s);
    m_nPort = ntohs(sa.sin6_port);
    m_thread = std::thread([this] { Serve(); });
}

CIPv6LoopbackOrigin::~CIPv6LoopbackOrigin()
{
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_nPort != 0) CloseSocket(static_cast<SOCKET>(m_sock));
}

std::vector<std::string> CIPv6LoopbackOrigin::Heads() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heads;
}

void CIPv6LoopbackOrigin::Serve()
{
    const SOCKET listening = static_cast<SOCKET>(m_sock);
    while (!m_bStop) {
        // A short wait, so the destructor's stop is seen without a wake.
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listening, &readable);
        timeval tv = {0, 50 * 1000};
        if (select(static_cast<int>(listening) + 1, &readable, nullptr, nullptr, &tv) != 1) continue;
        SOCKET c = accept(listening, nullptr, nullptr);
        if (c == INVALID_SOCKET) continue;
        std::string head;
        char buf[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const int n = static_cast<int>(recv(c, buf, sizeof buf, 0));
            if (n <= 0) break;
            head.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heads.push_back(head);
        }
        send(c, m_answer.data(), static_cast<int>(m_answer.size()), 0);
        CloseSocket(c);
    }
}
