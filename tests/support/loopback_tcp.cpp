// Loopback test peers.
#include "support/loopback_tcp.h"

#include <algorithm>
#include <chrono>

CTestTcpServer::CTestTcpServer(Handler handler, WORD nPort) : m_handler(std::move(handler))
{
    SockInitOnce();
    m_sockListen = SockListenLoopback(nPort, &m_nPort);
    m_sockWaker = SockOpenWaker(&m_nWakePort);
    if (m_sockListen != NO_SOCKET && m_sockWaker != NO_SOCKET)
        m_thread = std::thread(&CTestTcpServer::AcceptLoop, this);
}

CTestTcpServer::~CTestTcpServer()
{
    m_nRunning.store(0);
    if (m_thread.joinable()) {
        SockWakeListener(m_nWakePort);
        m_thread.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (SOCKET_HANDLE s : m_open) SockShutdownBoth(s);
        workers.swap(m_workers);
    }
    for (std::thread& t : workers) t.join();
    SockClose(m_sockListen);
    SockClose(m_sockWaker);
}

void CTestTcpServer::AcceptLoop()
{
    while (m_nRunning.load()) {
        if (SockWaitForConnection(m_sockListen, m_sockWaker, 200) != 1) continue;
        SOCKET_HANDLE s = SockAccept(m_sockListen);
        if (s == NO_SOCKET) continue;
        m_nAccepted.fetch_add(1);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.push_back(s);
        m_workers.emplace_back([this, s] {
            m_handler(s);
            std::lock_guard<std::mutex> inner(m_mutex);
            for (size_t i = 0; i < m_open.size(); ++i)
                if (m_open[i] == s) {
                    m_open.erase(m_open.begin() + static_cast<long>(i));
                    break;
                }
            SockClose(s);
        });
    }
}

SOCKET_HANDLE TestConnect(WORD nPort)
{
    SockInitOnce();
    DWORD dwAddr = 0;
    SockResolveIPv4("127.0.0.1", &dwAddr);
    return SockConnectIPv4(dwAddr, nPort);
}

bool TestSend(SOCKET_HANDLE s, const std::string& data)
{
    return SockSendAll(s, data.data(), static_cast<int>(data.size())) != FALSE;
}

std::string TestRecvHead(SOCKET_HANDLE s, std::string* pRest)
{
    std::string got;
    char buf[4096];
    for (;;) {
        size_t end = got.find("\r\n\r\n");
        if (end != std::string::npos) {
            if (pRest) *pRest = got.substr(end + 4);
            return got.substr(0, end + 4);
        }
        int n = SockRecv(s, buf, sizeof buf);
        if (n <= 0) return std::string();
        got.append(buf, static_cast<size_t>(n));
    }
}

std::string TestRecvCount(SOCKET_HANDLE s, size_t nCount)
{
    std::string got;
    char buf[4096];
    while (got.size() < nCount) {
        size_t want = std::min(sizeof buf, nCount - got.size());
        int n = SockRecv(s, buf, static_cast<int>(want));
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

std::string TestRecvAll(SOCKET_HANDLE s)
{
    std::string got;
    char buf[16384];
    for (;;) {
        int n = SockRecv(s, buf, sizeof buf);
        if (n <= 0) return got;
        got.append(buf, static_cast<size_t>(n));
    }
}

WORD ClosedLoopbackPort()
{
    SockInitOnce();
    WORD nPort = 0;
    SockClose(SockListenLoopback(0, &nPort));
    return nPort;
}

long WaitForOpenSockets(long nExpected, int nMaxMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMaxMs);
    long n = SockOpenCount();
    while (n != nExpected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        n = SockOpenCount();
    }
    return n;
}
