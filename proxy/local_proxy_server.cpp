// Start, Stop and the listener thread of the local proxy.
#include "proxy/local_proxy_server.h"

#include "proxy/connection_handler.h"
#include "proxy/thread_api.h"
#include "proxy/upstream_config.h"

#include <chrono>
#include <system_error>

namespace {

// The wake datagram is what ends a wait promptly; the timeout only bounds
// how long a lost datagram could keep the listener waiting.
const int LISTEN_WAIT_MS = 1000;

void PublishConfig(int bUseUpstream, const CString& strUpstreamHost, int nUpstreamPort,
                   const CString& strUser, const CString& strPassword)
{
    auto pConfig = std::make_shared<CUpstreamConfig>();
    pConfig->bUseUpstream = bUseUpstream;
    pConfig->strUpstreamHost = strUpstreamHost;
    pConfig->nUpstreamPort = static_cast<WORD>(nUpstreamPort & 0xFFFF);
    pConfig->strProxyUser = strUser;
    pConfig->strProxyPassword = strPassword;
    if (bUseUpstream && !strUser.IsEmpty()) {
        pConfig->bProxyAuthHeader = TRUE;
        pConfig->strProxyAuthHeader = BuildProxyAuthHeader(strUser, strPassword);
    }
    PublishUpstreamConfig(std::move(pConfig));
}

BOOL StartConnectionThread(SOCKET_HANDLE sock)
{
    return StartDetachedThread(ConnectionThreadProc, reinterpret_cast<void*>(sock));
}

}  // namespace

unsigned int ListenThreadProc(std::shared_ptr<CListenerState> pState)
{
    while (pState->m_nRunning.load() == 1) {
        int nReady = SockWaitForConnection(pState->m_sockListen, pState->m_sockWaker, LISTEN_WAIT_MS);
        if (pState->m_nRunning.load() != 1) break;
        if (nReady != 1) {
            // A failing wait must not turn into a busy loop.
            if (nReady < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        SOCKET_HANDLE sock = SockAccept(pState->m_sockListen);
        if (sock == NO_SOCKET) {
            // Out of descriptors, or the peer gave up: drop this attempt, but
            // give the system a moment rather than spinning on the error.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (pState->m_nRunning.load() != 1) {
            SockClose(sock);
            break;
        }
        // With no thread to read it, the connection is closed, not left hanging.
        if (!StartConnectionThread(sock)) SockClose(sock);
    }
    // This thread owns both sockets; nobody else closes them.
    SockClose(pState->m_sockListen);
    SockClose(pState->m_sockWaker);
    return 0;
}

CLocalProxyServer::CLocalProxyServer()
    : m_sockListen(NO_SOCKET), m_nLocalPort(0)
{
}

CLocalProxyServer::~CLocalProxyServer()
{
    // The listener must not outlive the object that would join it.
    Stop();
}

BOOL CLocalProxyServer::Start(int nPort, int bUseUpstream, CString strUpstreamHost, int nUpstreamPort,
                              CString strUser, CString strPassword)
{
    if (m_threadListen.joinable()) Stop();

    m_nLocalPort = static_cast<WORD>(nPort & 0xFFFF);
    PublishConfig(bUseUpstream, strUpstreamHost, nUpstreamPort, strUser, strPassword);

    if (!SockInitOnce()) return FALSE;
    auto pState = std::make_shared<CListenerState>();
    WORD nBound = 0;
    pState->m_sockListen = SockListenLoopback(m_nLocalPort, &nBound);
    if (pState->m_sockListen == NO_SOCKET) return FALSE;
    pState->m_sockWaker = SockOpenWaker(&pState->m_nWakePort);
    if (pState->m_sockWaker == NO_SOCKET) {
        SockClose(pState->m_sockListen);
        return FALSE;
    }
    pState->m_nRunning.store(1);
    try {
        m_threadListen = std::thread(ListenThreadProc, pState);
    } catch (const std::system_error&) {
        SockClose(pState->m_sockListen);
        SockClose(pState->m_sockWaker);
        return FALSE;
    }
    m_nLocalPort = nBound;
    m_sockListen = pState->m_sockListen;
    m_pState = pState;
    return TRUE;
}

void CLocalProxyServer::Stop()
{
    if (m_pState) {
        m_pState->m_nRunning.store(0);
        SockWakeListener(m_pState->m_nWakePort);
    }
    if (m_threadListen.joinable()) m_threadListen.join();
    m_pState.reset();
    m_sockListen = NO_SOCKET;
}

int CLocalProxyServer::IsRunning() const
{
    return m_pState ? m_pState->m_nRunning.load() : 0;
}
