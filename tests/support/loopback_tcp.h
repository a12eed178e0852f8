// Loopback TCP peers for tests: a small server on 127.0.0.1 that serves each
// connection with a function on a thread of its own, and blocking client
// helpers. Built on the framework's socket seam, so the same tests run natively
// and under Wine.
#pragma once

#include "framework/core/socket_api.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CTestTcpServer {
public:
    // Serves one connection; the server closes the socket after it returns.
    typedef std::function<void(SOCKET_HANDLE)> Handler;

    // Listens on 127.0.0.1 at once: on nPort, or on a free port when it is 0.
    // A port that is taken leaves the server not listening.
    explicit CTestTcpServer(Handler handler, WORD nPort = 0);
    ~CTestTcpServer();
    CTestTcpServer(const CTestTcpServer&) = delete;
    CTestTcpServer& operator=(const CTestTcpServer&) = delete;

    bool IsListening() const { return m_thread.joinable(); }
    WORD Port() const { return m_nPort; }
    int Accepted() const { return m_nAccepted.load(); }

private:
    void AcceptLoop();

    Handler m_handler;
    SOCKET_HANDLE m_sockListen = NO_SOCKET;
    SOCKET_HANDLE m_sockWaker = NO_SOCKET;
    WORD m_nPort = 0;
    WORD m_nWakePort = 0;
    std::atomic<int> m_nRunning{1};
    std::atomic<int> m_nAccepted{0};
    std::thread m_thread;
    std::mutex m_mutex; // guards the two lists below
    std::vector<std::thread> m_workers;
    std::vector<SOCKET_HANDLE> m_open;
};

// A port on 127.0.0.1 that takes connections into its backlog and never
// accepts or answers them: a server that hangs. Port() is 0 when it could
// not listen.
class CSilentLoopbackListener {
public:
    CSilentLoopbackListener()
    {
        if (SockInitOnce()) m_sock = SockListenLoopback(0, &m_nPort);
    }
    ~CSilentLoopbackListener() { SockClose(m_sock); }
    CSilentLoopbackListener(const CSilentLoopbackListener&) = delete;
    CSilentLoopbackListener& operator=(const CSilentLoopbackListener&) = delete;

    WORD Port() const { return m_nPort; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }

private:
    SOCKET_HANDLE m_sock = NO_SOCKET;
    WORD m_nPort = 0;
};

SOCKET_HANDLE TestConnect(WORD nPort);
bool TestSend(SOCKET_HANDLE s, const std::string& data);
// Receives until the empty line of a head; returns the head (and leaves any
// body bytes that came with it in *pRest). Empty on EOF before it.
std::string TestRecvHead(SOCKET_HANDLE s, std::string* pRest = nullptr);
// Receives exactly nCount bytes (fewer if the peer closes first).
std::string TestRecvCount(SOCKET_HANDLE s, size_t nCount);
// Receives until the peer closes.
std::string TestRecvAll(SOCKET_HANDLE s);
// A loopback port that nothing listens on (just released by this process).
WORD ClosedLoopbackPort();
// Waits (bounded) until SockOpenCount() equals nExpected; returns the last count.
long WaitForOpenSockets(long nExpected, int nMaxMs = 5000);
