// CLocalProxyServer: the local proxy the settings dialog owns. Start listens
// on 127.0.0.1 and runs the listener thread; every accepted connection gets
// one thread of its own, which reads its first request head and then relays
// both directions.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/socket_api.h"
#include "framework/core/thread_api.h"
#include "proxy/internal/upstream_health.h"
#include "proxy/upstream_kind.h"

#include <memory>

struct CUpstreamConfig;

class CLocalProxyServer {
public:
    CLocalProxyServer();
    virtual ~CLocalProxyServer();
    CLocalProxyServer(const CLocalProxyServer&) = delete;
    CLocalProxyServer& operator=(const CLocalProxyServer&) = delete;

    // Publishes the upstream configuration, listens on 127.0.0.1:nPort and
    // starts the listener. TRUE means the port is listening and IsRunning is
    // 1; FALSE means nothing listens (socket, bind or listen failed, or the
    // thread could not be created). A server still running is stopped first.
    // eKind says how the upstream is spoken to; the account goes to an HTTP
    // proxy as a Proxy-Authorization line, to a SOCKS proxy in its handshake.
    BOOL Start(int nPort, int bUseUpstream, CString strUpstreamHost, int nUpstreamPort, CString strUser,
               CString strPassword, EUpstreamKind eKind = UPSTREAM_HTTP);

    // Asks the listener to stop, wakes it and waits until it has
    // closed its socket, so the port is free when Stop returns. The
    // connections already accepted carry no request more: kept-alive ones
    // idle between answers end at once, busy ones after the answers already
    // asked for (see relay_settings.h), so nothing more reaches the
    // upstream the user switched off.
    void Stop();

    int IsRunning() const;

    // From the next Start on: once the upstream proxy has refused
    // nFailuresInARow connections with none getting through, pfnDown is
    // called once, on a connection's thread (it must only post a message).
    // A null pfnDown hears nothing.
    void SetUpstreamDownHandler(PFN_UPSTREAM_DOWN pfnDown, void* pContext, int nFailuresInARow);
    // From the next Start on: once an HTTP upstream has refused as many of
    // the browser's tunnels (CONNECT) in a row, with none opened, pfnNoTunnels
    // is called once the same way, with the context given above.
    void SetNoTunnelsHandler(PFN_UPSTREAM_DOWN pfnNoTunnels) { m_pfnNoTunnels = pfnNoTunnels; }

    // Which start is in force: 1 after the first Start, one more after each
    // later one. The upstream-down notice carries the start it belongs to.
    unsigned int GetStartSerial() const { return m_nStartSerial; }

    // The port being listened on (the one chosen when Start was given 0).
    WORD GetLocalPort() const { return m_nLocalPort; }

    static CString EncodeBase64(CString strInput);

private:
    static unsigned int ListenThreadProc(void* pParam);
    // Stop's first half, for a restart too: the listener gone, the port free.
    void StopListener();

    // Both sockets are made by Start and closed by the listener thread as it
    // ends; Stop joins it before the next Start makes new ones.
    SOCKET_HANDLE m_sockListen; // NO_SOCKET when nothing listens
    SOCKET_HANDLE m_sockWaker;
    WORD m_nWakePort;
    // The listening socket is non-blocking, and so is every connection it
    // gives.
    bool m_bListenNonBlocking = false;
    CJoinableThread m_threadListen;
    WORD m_nLocalPort;
    PFN_UPSTREAM_DOWN m_pfnUpstreamDown;
    void* m_pUpstreamDownContext;
    PFN_UPSTREAM_DOWN m_pfnNoTunnels = nullptr;
    int m_nUpstreamFailuresInARow;
    unsigned int m_nStartSerial;
    // What this server's last Start published; Stop takes it out of force
    // only while it is the configuration in force.
    std::shared_ptr<const CUpstreamConfig> m_pPublished;
};

// The "Proxy-Authorization" line for an account, CR LF included, always on
// one line however long the account is.
CString BuildProxyAuthHeader(const CString& strUser, const CString& strPassword);
