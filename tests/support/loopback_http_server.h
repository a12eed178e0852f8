// A tiny HTTP/1.0-style server on 127.0.0.1 for Win32 tests, in the test's
// own process: canned answers per path, a record of every request head.
// One connection at a time, closed after each answer.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLoopbackHttpServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        bool raw = false; // body is the whole answer, head included, sent as it stands
    };

    // Listens on 127.0.0.1 at once: on nPort, or on a free port when it is 0.
    // A port that is taken leaves the server not listening (IsListening).
    explicit CLoopbackHttpServer(int nPort = 0);
    ~CLoopbackHttpServer();
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    bool IsListening() const { return m_thread.joinable(); }
    int Port() const { return m_nPort; }
    // "127.0.0.1:<port>", as the UpdateServer setting names a server.
    std::string HostPort() const;

    // What a GET of the path answers from now on; unknown paths get 404.
    void SetAnswer(const std::string& path, int status, const std::string& body);
    // What a GET of the path answers, byte for byte, head included: for
    // answers a well-behaved server would never give (a body cut short).
    void SetRawAnswer(const std::string& path, const std::string& answer);

    // Request heads received so far, in order.
    std::vector<std::string> Requests() const;
    // Their request lines alone.
    std::vector<std::string> RequestLines() const;
    // How many requests named this path.
    int CountRequests(const std::string& path) const;

private:
    void AcceptLoop();
    void Serve(unsigned int sock);

    unsigned int m_sockListen;
    int m_nPort = 0;
    std::atomic<bool> m_bRunning{true};
    std::thread m_thread;
    mutable std::mutex m_mutex; // guards the two members below
    std::map<std::string, Answer> m_answers;
    std::vector<std::string> m_requests;
};

// A loopback port that nothing listens on (just released by this process).
int ClosedLoopbackPort();
