// A tiny HTTP server on 127.0.0.1 for tests, in the test's own process:
// canned answers per path (or one answer for every path), a record of every
// request head and body. Each connection gets one answer and is closed.
// Built on the loopback TCP peer, so it runs natively and under Wine alike.
#pragma once

#include "support/loopback_tcp.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CLoopbackHttpServer {
public:
    // Listens on 127.0.0.1 at once: on nPort, or on a free port when it is 0.
    // A port that is taken leaves the server not listening (IsListening).
    explicit CLoopbackHttpServer(int nPort = 0);
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    bool IsListening() const { return m_server.IsListening(); }
    WORD Port() const { return m_server.Port(); }
    // Connections accepted so far.
    int Accepted() const { return m_server.Accepted(); }
    // "127.0.0.1:<port>", as the UpdateServer setting names a server.
    std::string HostPort() const;

    // What a GET of the path answers from now on; unknown paths get 404.
    void SetAnswer(const std::string& path, int status, const std::string& body);
    // What a GET of the path answers, byte for byte, head included: for
    // answers a well-behaved server would never give (a body cut short).
    void SetRawAnswer(const std::string& path, const std::string& answer);
    // What every path without an answer of its own gets from now on, byte
    // for byte, instead of 404. "$PATH" in it is replaced by the request
    // line, so concurrent clients can tell their own answer apart.
    void SetRawAnswerForAll(const std::string& answer);

    // Request heads received so far, in order.
    std::vector<std::string> Requests() const;
    // The bodies that came with them (as many bytes as Content-Length said).
    std::vector<std::string> Bodies() const;
    // Their request lines alone.
    std::vector<std::string> RequestLines() const;
    // How many requests named this path.
    int CountRequests(const std::string& path) const;

private:
    struct Answer {
        int status = 200;
        std::string body;
        bool raw = false; // body is the whole answer, head included, sent as it stands
    };

    void Serve(SOCKET_HANDLE s);

    mutable std::mutex m_mutex; // guards the members below
    std::map<std::string, Answer> m_answers;
    bool m_bAnswerAll = false;
    std::string m_answerAll;
    std::vector<std::string> m_requests;
    std::vector<std::string> m_bodies;
    CTestTcpServer m_server; // last: its threads use the members above
};
