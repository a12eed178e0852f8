// Loopback peers the proxy's server tests talk to: an origin (or upstream
// proxy) that records every request and answers every path alike, and a
// browser-side helper.
#pragma once

#include "support/loopback_http_server.h"

#include <string>

class CRecordingOrigin : public CLoopbackHttpServer {
public:
    explicit CRecordingOrigin(const std::string& response = "HTTP/1.0 200 OK\r\n\r\nhello")
    {
        SetRawAnswerForAll(response);
    }
};

// Connects to the proxy, sends the request, and returns everything that
// comes back until the proxy closes the connection.
std::string FetchThroughProxy(WORD nProxyPort, const std::string& request);

// "GET http://127.0.0.1:P<path> HTTP/1.1" with its Host line and the empty line.
// A loopback address: the proxy reaches it itself, with an upstream or not.
std::string GetRequest(WORD nOriginPort, const std::string& path, const std::string& extraHeaders = "");

// The same for "localhost:P": a name, which goes to the upstream as it
// stands (the stand-ins answer whatever it names) and, without one, is
// looked up by the proxy and reaches 127.0.0.1:P.
std::string NamedGetRequest(WORD nPort, const std::string& path, const std::string& extraHeaders = "");
