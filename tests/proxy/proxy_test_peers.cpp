// Loopback peers for the server tests.
#include "proxy_test_peers.h"

#include <cstdlib>

CRecordingOrigin::CRecordingOrigin(std::string response)
    : m_response(std::move(response)), m_server([this](SOCKET_HANDLE s) { Serve(s); })
{
}

void CRecordingOrigin::Serve(SOCKET_HANDLE s)
{
    std::string rest;
    std::string head = TestRecvHead(s, &rest);
    if (head.empty()) return;
    size_t nBody = 0;
    size_t at = head.find("Content-Length: ");
    if (at != std::string::npos) nBody = std::strtoul(head.c_str() + at + 16, nullptr, 10);
    if (rest.size() < nBody) rest += TestRecvCount(s, nBody - rest.size());
    std::string response;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heads.push_back(head);
        m_bodies.push_back(rest);
        response = m_response;
    }
    // An answer naming "$PATH" echoes the request line, so concurrent
    // clients can tell their own answer apart.
    size_t mark = response.find("$PATH");
    if (mark != std::string::npos) response.replace(mark, 5, head.substr(0, head.find("\r\n")));
    TestSend(s, response);
}

std::vector<std::string> CRecordingOrigin::Heads()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heads;
}

std::vector<std::string> CRecordingOrigin::Bodies()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bodies;
}

void CRecordingOrigin::SetResponse(const std::string& response)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_response = response;
}

std::string FetchThroughProxy(WORD nProxyPort, const std::string& request)
{
    SOCKET_HANDLE s = TestConnect(nProxyPort);
    if (s == NO_SOCKET) return "<connect failed>";
    TestSend(s, request);
    std::string answer = TestRecvAll(s);
    SockClose(s);
    return answer;
}

std::string GetRequest(WORD nOriginPort, const std::string& path, const std::string& extraHeaders)
{
    std::string hostPort = "127.0.0.1:" + std::to_string(nOriginPort);
    return "GET http://" + hostPort + path + " HTTP/1.1\r\nHost: " + hostPort + "\r\n" + extraHeaders + "\r\n";
}
