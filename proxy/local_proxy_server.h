// CLocalProxyServer: the local proxy the settings dialog owns. Start listens
// on 127.0.0.1 and runs the listener thread; every accepted connection gets a
// handler thread and then two relay threads of its own.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/socket_api.h"

#include <atomic>
#include <memory>
#include <thread>

// What one Start shares with the listener thread it creates. Each Start makes
// a new one, so a listener still ending after a restart only ever sees its
// own running flag and its own sockets.
struct CListenerState {
    std::atomic<int> m_nRunning{0};
    SOCKET_HANDLE m_sockListen = NO_SOCKET;   // owned and closed by the listener thread
    SOCKET_HANDLE m_sockWaker = NO_SOCKET;    // likewise
    WORD m_nWakePort = 0;
};

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
    BOOL Start(int nPort, int bUseUpstream, CString strUpstreamHost, int nUpstreamPort,
               CString strUser, CString strPassword);

    // Clears the running flag, wakes the listener and waits until it has
    // closed its socket, so the port is free when Stop returns. Connections
    // already accepted go on.
    void Stop();

    int IsRunning() const;

    // The port being listened on (the one chosen when Start was given 0).
    WORD GetLocalPort() const { return m_nLocalPort; }

    static CString EncodeBase64(CString strInput);

private:
    SOCKET_HANDLE m_sockListen;     // the listening socket of the current Start, NO_SOCKET when none
    std::thread m_threadListen;
    std::shared_ptr<CListenerState> m_pState;   // holds the running flag
    WORD m_nLocalPort;
};

// The "Proxy-Authorization" line for an account, CR LF included, always on
// one line however long the account is.
CString BuildProxyAuthHeader(const CString& strUser, const CString& strPassword);

unsigned int ListenThreadProc(std::shared_ptr<CListenerState> pState);
