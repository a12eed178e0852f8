// CLoopbackHttpServer over Winsock.
#include <winsock2.h>

#include "loopback_http_server.h"

#include <cstdio>

namespace {

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// rPort names the port to take (0: any free one) and receives the one taken.
SOCKET ListenOnLoopback(int& rPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    // A fixed port must really be free: never share it with another listener.
    BOOL bExclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&bExclusive), sizeof bExclusive);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<u_short>(rPort));
    int len = sizeof sa;
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    rPort = ntohs(sa.sin_port);
    return s;
}

// The path of a request line, also when a proxy sent the absolute form.
std::string PathOf(const std::string& head)
{
    size_t sp1 = head.find(' ');
    if (sp1 == std::string::npos) return std::string();
    size_t sp2 = head.find(' ', sp1 + 1);
    std::string target = head.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    if (target.compare(0, 7, "http://") == 0) {
        size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    return target;
}

} // namespace

CLoopbackHttpServer::CLoopbackHttpServer(int nPort) : m_nPort(nPort)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_sockListen = static_cast<unsigned int>(ListenOnLoopback(m_nPort));
    if (m_sockListen != INVALID_SOCKET) m_thread = std::thread(&CLoopbackHttpServer::AcceptLoop, this);
}

CLoopbackHttpServer::~CLoopbackHttpServer()
{
    m_bRunning = false;
    if (m_sockListen != INVALID_SOCKET) {
        // Wake the blocked accept with a connection of our own; closing the
        // socket alone takes about a second to wake it under Wine.
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(static_cast<u_short>(m_nPort));
        connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (m_thread.joinable()) m_thread.join();
        closesocket(s);
        closesocket(m_sockListen);
    }
    WSACleanup();
}

std::string CLoopbackHttpServer::HostPort() const
{
    return "127.0.0.1:" + std::to_string(m_nPort);
}

void CLoopbackHttpServer::SetAnswer(const std::string& path, int status, const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers[path] = Answer{status, body, false};
}

void CLoopbackHttpServer::SetRawAnswer(const std::string& path, const std::string& answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers[path] = Answer{0, answer, true};
}

std::vector<std::string> CLoopbackHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::string> CLoopbackHttpServer::RequestLines() const
{
    std::vector<std::string> lines;
    for (const std::string& head : Requests()) lines.push_back(head.substr(0, head.find("\r\n")));
    return lines;
}

int CLoopbackHttpServer::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const std::string& head : m_requests)
        if (PathOf(head) == path) ++n;
    return n;
}

void CLoopbackHttpServer::AcceptLoop()
{
    while (m_bRunning) {
        SOCKET s = accept(m_sockListen, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        if (!m_bRunning) {
            closesocket(s);
            break;
        }
        Serve(static_cast<unsigned int>(s));
        closesocket(s);
    }
}

void CLoopbackHttpServer::Serve(unsigned int sock)
{
    SOCKET s = static_cast<SOCKET>(sock);
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        head.append(buffer, n);
    }
    head.resize(head.find("\r\n\r\n") + 4);

    Answer answer{404, "Not Found\n", false};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(head);
        auto it = m_answers.find(PathOf(head));
        if (it != m_answers.end()) answer = it->second;
    }
    char status[160] = "";
    if (!answer.raw)
        std::snprintf(status, sizeof status,
                      "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %u\r\nConnection: close\r\n\r\n",
                      answer.status, Reason(answer.status), static_cast<unsigned>(answer.body.size()));
    std::string out = std::string(status) + answer.body;
    for (size_t sent = 0; sent < out.size();) {
        int n = send(s, out.data() + sent, static_cast<int>(out.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
    shutdown(s, SD_SEND);
}

int ClosedLoopbackPort()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    int nPort = 0;
    SOCKET s = ListenOnLoopback(nPort);
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return nPort;
}
