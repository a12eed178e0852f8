// The judges' turns: per host, the times of its last window's requests.
#include "judge_pacer.h"

#include <algorithm>

CJudgePacer::CJudgePacer(const std::vector<CString>& hosts, int nPerWindow, double dWindowMs)
    : m_nPerWindow(std::max(1, nPerWindow)), m_dWindowMs(dWindowMs)
{
    for (const CString& strHost : hosts) {
        // Names differ in case only: one server all the same.
        CString strKey = strHost;
        strKey.MakeLower();
        size_t nHost = 0;
        while (nHost < m_hosts.size() && m_hosts[nHost].strHost != strKey) ++nHost;
        if (nHost == m_hosts.size()) {
            CHostTurns turns;
            turns.strHost = strKey;
            m_hosts.push_back(turns);
        }
        m_hostOf.push_back(static_cast<int>(nHost));
        m_asked.push_back(0);
    }
}

BOOL CJudgePacer::IsFree(const CHostTurns& host, double dNowMs) const
{
    // The oldest of a full window must lie a whole window back: then no
    // window, wherever it starts, holds more than nPerWindow of them.
    return static_cast<int>(host.sent.size()) < m_nPerWindow || host.sent.front() + m_dWindowMs <= dNowMs;
}

int CJudgePacer::Take(double dNowMs)
{
    int nBest = -1;
    for (size_t i = 0; i < m_hostOf.size(); ++i) {
        if (!IsFree(m_hosts[static_cast<size_t>(m_hostOf[i])], dNowMs)) continue;
        if (nBest < 0 || m_asked[i] < m_asked[static_cast<size_t>(nBest)]) nBest = static_cast<int>(i);
    }
    if (nBest < 0) return -1;
    CHostTurns& host = m_hosts[static_cast<size_t>(m_hostOf[static_cast<size_t>(nBest)])];
    if (static_cast<int>(host.sent.size()) >= m_nPerWindow) host.sent.pop_front();
    host.sent.push_back(dNowMs);
    ++m_asked[static_cast<size_t>(nBest)];
    return nBest;
}

double CJudgePacer::NextTurnMs(double dNowMs) const
{
    if (m_hosts.empty()) return dNowMs;
    double dNext = -1;
    for (const CHostTurns& host : m_hosts) {
        double dFree = IsFree(host, dNowMs) ? dNowMs : host.sent.front() + m_dWindowMs;
        if (dNext < 0 || dFree < dNext) dNext = dFree;
    }
    return dNext;
}
