// A tiny HTTP server on 127.0.0.1 for the browser-option tests: it records
// the request line of every request it gets and answers each with a short
// body naming itself, so a test can tell which address a WinINet request
// really went to.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackHttpListener {
public:
    explicit LoopbackHttpListener(const std::string& body) : m_body(body)
    {
        WSADATA wsa;
        m_bWinsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    }
    ~LoopbackHttpListener()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_socket != INVALID_SOCKET)
            closesocket(m_socket);
        if (m_bWinsock)
            WSACleanup();
    }

    // Binds 127.0.0.1:port (0 picks a free port) and starts serving. False
    // when the port is taken.
    bool Start(unsigned short port)
    {
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (m_socket == INVALID_SOCKET)
            return false;
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(port);
        BOOL bExclusive = TRUE;
        setsockopt(m_socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&bExclusive),
                   sizeof(bExclusive));
        if (bind(m_socket, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0 ||
            listen(m_socket, 8) != 0)
            return false;
        int cb = sizeof(sa);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&sa), &cb);
        m_port = ntohs(sa.sin_port);
        m_thread = std::thread([this] { Serve(); });
        return true;
    }

    unsigned short Port() const { return m_port; }

    std::vector<std::string> RequestLines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    static bool Readable(SOCKET s, int nMilliseconds)
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv = {nMilliseconds / 1000, (nMilliseconds % 1000) * 1000};
        return select(0, &set, NULL, NULL, &tv) == 1;
    }

    void Serve()
    {
        while (!m_bStop) {
            if (!Readable(m_socket, 50))
                continue;
            SOCKET client = accept(m_socket, NULL, NULL);
            if (client == INVALID_SOCKET)
                continue;
            std::string head;
            char buf[1024];
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384 &&
                   Readable(client, 5000)) {
                int n = recv(client, buf, sizeof(buf), 0);
                if (n <= 0)
                    break;
                head.append(buf, n);
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back(head.substr(0, head.find("\r\n")));
            }
            std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                   std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
            send(client, response.data(), static_cast<int>(response.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    std::string m_body;
    bool m_bWinsock = false;
    SOCKET m_socket = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
