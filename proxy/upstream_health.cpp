// CUpstreamHealth: a run of refused connections, or of refused tunnels, told once.
#include "proxy/internal/upstream_health.h"

CUpstreamHealth::CUpstreamHealth(int nFailuresInARow, PFN_UPSTREAM_DOWN pfnDown, void* pContext, unsigned int nStart,
                                 PFN_UPSTREAM_DOWN pfnNoTunnels)
    : m_nLimit(nFailuresInARow > 0 ? nFailuresInARow : 1), m_pfnDown(pfnDown), m_pContext(pContext), m_nStart(nStart),
      m_pfnNoTunnels(pfnNoTunnels)
{
}

void CUpstreamHealth::NoteConnect(BOOL bConnected)
{
    if (bConnected) {
        m_nFailures = 0;
        m_bTold = false;
        return;
    }
    // Connections fail side by side: only the one that completes the run
    // tells, and only once until a connection gets through again.
    if (++m_nFailures >= m_nLimit && !m_bTold.exchange(true) && m_pfnDown) m_pfnDown(m_pContext, m_nStart);
}

void CUpstreamHealth::NoteTunnelAnswer(int nStatus)
{
    if (nStatus == 502 || nStatus == 503 || nStatus == 504) return;
    if (nStatus >= 200 && nStatus < 300) {
        m_nTunnelRefusals = 0;
        m_bTunnelsTold = false;
        return;
    }
    // A proxy that refuses tunnels answers plain requests all the same: its
    // connections count as working, and only this run tells of it.
    if (++m_nTunnelRefusals >= m_nLimit && !m_bTunnelsTold.exchange(true) && m_pfnNoTunnels)
        m_pfnNoTunnels(m_pContext, m_nStart);
}
