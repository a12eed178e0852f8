// Loopback peers the proxy's server tests talk to: an origin (or upstream
// proxy) that records every request head and body it receives and answers
// with a fixed response, and a browser-side helper.
#pragma once

#include "support/loopback_tcp.h"

#include <mutex>
#include <string>
#include <vector>

class CRecordingOrigin {
public:
    explicit CRecordingOrigin(std::string response = "HTTP/1.0 200 OK\r\n\r\nhello");

    WORD Port() const { return m_server.Port(); }
    int Accepted() const { return m_server.Accepted(); }
    std::vector<std::string> Heads();
    std::vector<std::string> Bodies();
    void SetResponse(const std::string& response);

private:
    void Serve(SOCKET_HANDLE s);

    std::mutex m_mutex;   // guards everything below
    std::string m_response;
    std::vector<std::string> m_heads;
    std::vector<std::string> m_bodies;
    CTestTcpServer m_server;   // last: its threads use the members above
};

// Connects to the proxy, sends the request, and returns everything that
// comes back until the proxy closes the connection.
std::string FetchThroughProxy(WORD nProxyPort, const std::string& request);

// "GET http://127.0.0.1:P<path> HTTP/1.1" with its Host line and the empty line.
std::string GetRequest(WORD nOriginPort, const std::string& path, const std::string& extraHeaders = "");
