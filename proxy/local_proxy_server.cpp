// Start, Stop and the listener thread of the local proxy.
#include "proxy/local_proxy_server.h"

#include "framework/core/text_number.h"
#include "framework/core/thread_api.h"
#include "proxy/internal/connection_handler.h"
#include "proxy/internal/held_connections.h"
#include "proxy/internal/upstream_config.h"

#include <new>

namespace {

// The wake datagram is what ends a wait promptly; the timeout only bounds
// how long a lost datagram could keep the listener waiting.
const int LISTEN_WAIT_MS = 1000;

CUpstreamConfigPtr PublishConfig(int bUseUpstream, const CString& strUpstreamHost, int nUpstreamPort,
                                 EUpstreamKind eKind, const CString& strUser, const CString& strPassword,
                                 std::shared_ptr<CUpstreamHealth> pHealth)
{
    auto pConfig = std::make_shared<CUpstreamConfig>();
    if (bUseUpstream) pConfig->pHealth = std::move(pHealth);
    pConfig->bUseUpstream = bUseUpstream;
    pConfig->strUpstreamHost = strUpstreamHost;
    // A port outside the TCP range names no server: 0 reaches nobody, where
    // cutting it to 16 bits would reach whatever listens on the remainder.
    pConfig->nUpstreamPort = CwIsTcpPort(nUpstreamPort) ? static_cast<WORD>(nUpstreamPort) : 0;
    pConfig->eKind = eKind;
    pConfig->strProxyUser = strUser;
    pConfig->strProxyPassword = strPassword;
    // Through SOCKS the requests reach the servers themselves: a
    // Proxy-Authorization line would hand them the account.
    if (bUseUpstream && !strUser.IsEmpty() && eKind == UPSTREAM_HTTP) {
        pConfig->bProxyAuthHeader = TRUE;
        pConfig->strProxyAuthHeader = BuildProxyAuthHeader(strUser, strPassword);
    }
    PublishUpstreamConfig(pConfig);
    return pConfig;
}

BOOL StartConnectionThread(SOCKET_HANDLE sock, WORD nListenPort)
{
    CAcceptedConnection* pAccepted = new (std::nothrow) CAcceptedConnection;
    if (!pAccepted) return FALSE;
    pAccepted->sockBrowser = sock;
    // The listening socket is bound to this address (SockListenLoopback).
    if (!SockResolveIPv4("127.0.0.1", &pAccepted->dwListenAddr)) pAccepted->dwListenAddr = 0;
    pAccepted->nListenPort = nListenPort;
    pAccepted->pHeld.reset(new (std::nothrow) CHeldConnection(sock));
    if (pAccepted->pHeld && StartDetachedThread(ConnectionThreadProc, pAccepted)) return TRUE;
    delete pAccepted; // unlisted before the caller closes the socket
    return FALSE;
}

// Hands an accepted connection to a thread of its own, or closes it.
// bNonBlocking: it came non-blocking from the listening socket.
void AcceptConnection(SOCKET_HANDLE sock, WORD nListenPort, bool bNonBlocking)
{
    // Every send toward the browser is bound, which takes a non-blocking
    // socket (see relay_channel.cpp).
    if (!bNonBlocking) SockSetNonBlocking(sock);
    // Every connection held is busy: this one waits for none of them.
    if (!MakeRoomForConnection()) {
        SockClose(sock);
        return;
    }
    // With no thread to read it, the connection is closed, not left hanging.
    if (!StartConnectionThread(sock, nListenPort)) SockClose(sock);
}

} // namespace

unsigned int CLocalProxyServer::ListenThreadProc(void* pParam)
{
    CLocalProxyServer* pServer = static_cast<CLocalProxyServer*>(pParam);
    CJoinableThread& thread = pServer->m_threadListen;
    while (!thread.StopRequested()) {
        int nReady = SockWaitForConnection(pServer->m_sockListen, pServer->m_sockWaker, LISTEN_WAIT_MS);
        if (thread.StopRequested()) break;
        if (nReady != 1) {
            // A failing wait must not turn into a busy loop.
            if (nReady < 0) thread.WaitForStop(50);
            continue;
        }
        // A page opens its connections in a burst: all of them are taken
        // after one wait, the loop ending when the queue is empty (the
        // listening socket does not block), where a wait for each would be
        // another round trip to the wineserver under Wine.
        for (int nAccepted = 0; !thread.StopRequested(); ++nAccepted) {
            SOCKET_HANDLE sock = SockAccept(pServer->m_sockListen);
            if (sock == NO_SOCKET) {
                // Out of descriptors, or the peer gave up: drop this attempt,
                // but give the system a moment rather than spinning on the
                // error. After the first, it is only the queue's end.
                if (nAccepted == 0) thread.WaitForStop(10);
                break;
            }
            if (thread.StopRequested()) {
                SockClose(sock);
                break;
            }
            AcceptConnection(sock, pServer->m_nLocalPort, pServer->m_bListenNonBlocking);
        }
    }
    // This thread owns both sockets; nobody else closes them.
    SockClose(pServer->m_sockListen);
    SockClose(pServer->m_sockWaker);
    return 0;
}

CLocalProxyServer::CLocalProxyServer()
    : m_sockListen(NO_SOCKET), m_sockWaker(NO_SOCKET), m_nWakePort(0), m_nLocalPort(0), m_pfnUpstreamDown(nullptr),
      m_pUpstreamDownContext(nullptr), m_nUpstreamFailuresInARow(0), m_nStartSerial(0)
{
}

void CLocalProxyServer::SetUpstreamDownHandler(PFN_UPSTREAM_DOWN pfnDown, void* pContext, int nFailuresInARow)
{
    m_pfnUpstreamDown = pfnDown;
    m_pUpstreamDownContext = pContext;
    m_nUpstreamFailuresInARow = nFailuresInARow;
}

CLocalProxyServer::~CLocalProxyServer()
{
    // The listener must not outlive the object that would join it.
    Stop();
}

BOOL CLocalProxyServer::Start(int nPort, int bUseUpstream, CString strUpstreamHost, int nUpstreamPort, CString strUser,
                              CString strPassword, EUpstreamKind eKind)
{
    // A restart with the same upstream keeps the browsers' kept-alive
    // connections; only a switch to another one ends them (below).
    if (m_threadListen.IsRunning()) StopListener();

    // Each start counts afresh: refusals of the proxy left behind say nothing
    // of the one chosen now, and their notices name the start they belong to.
    ++m_nStartSerial;
    std::shared_ptr<CUpstreamHealth> pHealth;
    if (m_pfnUpstreamDown)
        pHealth = std::make_shared<CUpstreamHealth>(m_nUpstreamFailuresInARow, m_pfnUpstreamDown,
                                                    m_pUpstreamDownContext, m_nStartSerial, m_pfnNoTunnels);
    const CUpstreamConfigPtr pBefore = GetUpstreamConfig();
    m_pPublished =
        PublishConfig(bUseUpstream, strUpstreamHost, nUpstreamPort, eKind, strUser, strPassword, std::move(pHealth));
    // Kept-alive connections idle between answers would carry the browser's
    // next request the old way, or drop it (see relay_settings.h): they end
    // now, and the browser's next request opens a new one.
    if (!IsSameUpstream(*pBefore, *GetUpstreamConfig())) EndIdleRelays();
    // 0 asks for any free port; anything else must be a port.
    if (nPort != 0 && !CwIsTcpPort(nPort)) return FALSE;
    m_nLocalPort = static_cast<WORD>(nPort);

    if (!SockInitOnce()) return FALSE;
    WORD nBound = 0;
    SOCKET_HANDLE sockListen = SockListenLoopback(m_nLocalPort, &nBound);
    if (sockListen == NO_SOCKET) return FALSE;
    WORD nWakePort = 0;
    SOCKET_HANDLE sockWaker = SockOpenWaker(&nWakePort);
    if (sockWaker == NO_SOCKET) {
        SockClose(sockListen);
        return FALSE;
    }
    // The listener accepts until the queue is empty (see ListenThreadProc);
    // if the system refuses, it accepts one connection per wait instead.
    m_bListenNonBlocking = SockSetNonBlocking(sockListen) != FALSE;
    m_sockListen = sockListen;
    m_sockWaker = sockWaker;
    m_nWakePort = nWakePort;
    // Set before the listener starts: it hands the port to every connection.
    m_nLocalPort = nBound;
    if (!m_threadListen.Start(ListenThreadProc, this)) {
        SockClose(sockListen);
        SockClose(sockWaker);
        m_sockListen = m_sockWaker = NO_SOCKET;
        m_nLocalPort = static_cast<WORD>(nPort);
        return FALSE;
    }
    return TRUE;
}

void CLocalProxyServer::Stop()
{
    StopListener();
    // Switched off, the proxy no longer answers for where the browser's
    // kept-alive connections go: left alone they would go on carrying its
    // requests to the upstream the user left, for as long as it keeps them.
    // Another server's configuration (tests run several) is not ours to end.
    if (m_pPublished && GetUpstreamConfig() == m_pPublished) {
        auto pOff = std::make_shared<CUpstreamConfig>();
        pOff->bSwitchedOff = TRUE;
        PublishUpstreamConfig(std::move(pOff));
        EndIdleRelays();
    }
    m_pPublished.reset();
}

void CLocalProxyServer::StopListener()
{
    if (m_threadListen.IsRunning()) {
        m_threadListen.RequestStop();
        SockWakeListener(m_nWakePort);
        m_threadListen.Join();
    }
    m_sockListen = m_sockWaker = NO_SOCKET;
}

int CLocalProxyServer::IsRunning() const
{
    return m_threadListen.IsRunning() ? 1 : 0;
}
