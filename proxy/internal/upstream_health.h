// How the chosen upstream proxy is doing, for one published configuration:
// the connections it refused in a row. When it has refused enough of them
// and none got through, the owner (the dialog) is told once, so it can move
// the browser to another proxy instead of leaving every page failing.
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
    CUpstreamHealth(int nFailuresInARow, PFN_UPSTREAM_DOWN pfnDown, void* pContext, unsigned int nStart = 0);
    CUpstreamHealth(const CUpstreamHealth&) = delete;
    CUpstreamHealth& operator=(const CUpstreamHealth&) = delete;

    // Any connection thread, after each try to reach the upstream proxy. A
    // success ends the run of failures and lets a later run be told again.
    void NoteConnect(BOOL bConnected);

private:
    const int m_nLimit;
    const PFN_UPSTREAM_DOWN m_pfnDown;
    void* const m_pContext;
    const unsigned int m_nStart;
    std::atomic<int> m_nFailures{0};
    std::atomic<bool> m_bTold{false};
};
