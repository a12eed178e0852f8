// The judges' turns: per host, the times of its last window's requests.
#include "judge_pacer.h"

#include <algorithm>
#include <cmath>

namespace {

// A request is counted at the next whole millisecond, a turn at the last one:
// rounding never brings two requests closer than a window.
long long SentMs(double dMs)
{
    return static_cast<long long>(std::ceil(dMs));
}

long long NowMs(double dMs)
{
    return static_cast<long long>(std::floor(dMs));
}

} // namespace

CJudgePacer::CJudgePacer(const std::vector<CString>& hosts, int nPerWindow, int nWindowMs)
    : m_nPerWindow(std::max(1, nPerWindow)), m_nWindowMs(nWindowMs)
{
    for (const CString& strHost : hosts) {
        m_hostOf.push_back(AddHost(strHost));
        m_asked.push_back(0);
    }
    m_nJudgeHosts = m_hosts.size();
}

int CJudgePacer::AddHost(const CString& strHost)
{
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
    return static_cast<int>(nHost);
}

BOOL CJudgePacer::IsFree(const CHostTurns& host, long long nNowMs) const
{
    // The oldest of a full window must lie a whole window back: then no
    // window, wherever it starts, holds more than nPerWindow of them.
    return static_cast<int>(host.sent.size()) < m_nPerWindow || host.sent.front() + m_nWindowMs <= nNowMs;
}

int CJudgePacer::Take(double dNowMs)
{
    long long nNowMs = NowMs(dNowMs);
    int nBest = -1;
    for (size_t i = 0; i < m_hostOf.size(); ++i) {
        if (!IsFree(m_hosts[static_cast<size_t>(m_hostOf[i])], nNowMs)) continue;
        if (nBest < 0 || m_asked[i] < m_asked[static_cast<size_t>(nBest)]) nBest = static_cast<int>(i);
    }
    if (nBest < 0) return -1;
    Send(m_hosts[static_cast<size_t>(m_hostOf[static_cast<size_t>(nBest)])], dNowMs);
    ++m_asked[static_cast<size_t>(nBest)];
    return nBest;
}

void CJudgePacer::Send(CHostTurns& host, double dNowMs)
{
    if (static_cast<int>(host.sent.size()) >= m_nPerWindow) host.sent.pop_front();
    host.sent.push_back(SentMs(dNowMs));
}

BOOL CJudgePacer::TakeHost(int nHost, double dNowMs)
{
    CHostTurns& host = m_hosts[static_cast<size_t>(nHost)];
    if (!IsFree(host, NowMs(dNowMs))) return FALSE;
    Send(host, dNowMs);
    return TRUE;
}

double CJudgePacer::NextHostTurnMs(int nHost, double dNowMs) const
{
    const CHostTurns& host = m_hosts[static_cast<size_t>(nHost)];
    if (IsFree(host, NowMs(dNowMs))) return dNowMs;
    return static_cast<double>(host.sent.front() + m_nWindowMs);
}

double CJudgePacer::NextTurnMs(double dNowMs) const
{
    // Hosts added later have no judge of the list: Take never gives them.
    if (m_nJudgeHosts == 0) return dNowMs;
    long long nNowMs = NowMs(dNowMs);
    long long nNext = -1;
    for (size_t i = 0; i < m_nJudgeHosts; ++i) {
        const CHostTurns& host = m_hosts[i];
        if (IsFree(host, nNowMs)) return dNowMs;
        long long nFree = host.sent.front() + m_nWindowMs;
        if (nNext < 0 || nFree < nNext) nNext = nFree;
    }
    return static_cast<double>(nNext);
}
