// How the chosen upstream proxy is doing, for one published configuration:
// the connections it refused in a row, and apart from them the browser's
// tunnels (CONNECT, for secure pages) it refused in a row. When it has
// refused enough of either and none got through, the owner (the dialog) is
// told once, so it can move the browser to another proxy instead of leaving
// every page (or every secure page) failing.
#pragma once

#include "framework/core/types.h"

#include <atomic>

// Called on a connection's thread; must only hand the news on (post a
// message), never block. nStart names the start of the local proxy whose
// connections failed (CLocalProxyServer::GetStartSerial): connections
// accepted before a restart still report on the upstream they were given,
// and the owner must not blame the new one for them.
typedef void (*PFN_UPSTREAM_DOWN)(void* pContext, unsigned int nStart);

class CUpstreamHealth {
public:
    // pfnNoTunnels, when given, hears of a run of refused tunnels the same
    // way, with the same context and start.
    CUpstreamHealth(int nFailuresInARow, PFN_UPSTREAM_DOWN pfnDown, void* pContext, unsigned int nStart = 0,
                    PFN_UPSTREAM_DOWN pfnNoTunnels = nullptr);
    CUpstreamHealth(const CUpstreamHealth&) = delete;
    CUpstreamHealth& operator=(const CUpstreamHealth&) = delete;

    // Any connection thread, after each try to reach the upstream proxy. A
    // success ends the run of failures and lets a later run be told again.
    void NoteConnect(BOOL bConnected);
    // Any connection thread, with the status the upstream answered a
    // browser's CONNECT with: 2xx opened the tunnel and ends a run of
    // refusals; 502, 503 and 504 say it could not reach the server, which
    // is no refusal of tunnels and counts for nothing; any other status
    // (403, 405, 407, 501...) is a refusal.
    void NoteTunnelAnswer(int nStatus);

private:
    const int m_nLimit;
    const PFN_UPSTREAM_DOWN m_pfnDown;
    void* const m_pContext;
    const unsigned int m_nStart;
    std::atomic<int> m_nFailures{0};
    std::atomic<bool> m_bTold{false};
    const PFN_UPSTREAM_DOWN m_pfnNoTunnels;
    std::atomic<int> m_nTunnelRefusals{0};
    std::atomic<bool> m_bTunnelsTold{false};
};
