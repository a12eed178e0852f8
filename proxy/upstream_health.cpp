// CUpstreamHealth: a run of refused connections, told once.
#include "proxy/internal/upstream_health.h"

CUpstreamHealth::CUpstreamHealth(int nFailuresInARow, PFN_UPSTREAM_DOWN pfnDown, void* pContext, unsigned int nStart)
    : m_nLimit(nFailuresInARow > 0 ? nFailuresInARow : 1), m_pfnDown(pfnDown), m_pContext(pContext), m_nStart(nStart)
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
