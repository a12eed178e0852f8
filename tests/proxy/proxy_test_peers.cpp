// Loopback peers for the server tests.
#include "proxy_test_peers.h"

std::string FetchThroughProxy(WORD nProxyPort, const std::string& request)
{
    SOCKET_HANDLE s = TestConnect(nProxyPort);
    if (s == NO_SOCKET) return "<connect failed>";
    TestSend(s, request);
    std::string answer = TestRecvAll(s);
    SockClose(s);
    return answer;
}

namespace {

std::string GetRequestTo(const std::string& hostPort, const std::string& path, const std::string& extraHeaders)
{
    return "GET http://" + hostPort + path + " HTTP/1.1\r\nHost: " + hostPort + "\r\n" + extraHeaders + "\r\n";
}

} // namespace

std::string GetRequest(WORD nOriginPort, const std::string& path, const std::string& extraHeaders)
{
    return GetRequestTo("127.0.0.1:" + std::to_string(nOriginPort), path, extraHeaders);
}

std::string NamedGetRequest(WORD nPort, const std::string& path, const std::string& extraHeaders)
{
    return GetRequestTo("localhost:" + std::to_string(nPort), path, extraHeaders);
}
