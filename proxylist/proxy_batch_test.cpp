// The batch's thread: it keeps up to its number of entries in flight, each a
// probe whose socket joins one wait with the waker (cancel, and the answers
// of name lookups); a proxy that connects waits for a judge's turn before it
// is asked for the judge, until every entry is graded or the deadline
// passes. The judges hear only from the proxies.
#include "proxy_batch_test.h"

#include "https_probe.h"
#include "judge_pacer.h"
#include "judge_probe.h"
#include "name_lookups.h"
#include "tick_clock.h"
#include "upstream_fetch.h"

#include <windows.h>

#include <algorithm>
#include <deque>

namespace {

// Threads for host names; most lists name addresses and need none.
const int kLookupThreads = 8;
// The judges' turns are counted over a quarter second more than a second:
// the judge counts arrivals, and the way through proxies does not take every
// request equally long (requests sent 1,050 ms apart arrived 970 ms apart
// through stand-in proxies that had just taken a dozen connections).
const int kJudgeWindowMs = 1250;
// An entry's limit while it waits for its turn: only the batch's own.
const double kNoLimit = 1e300;

// One entry in flight.
struct CSlot {
    int nIndex = 0;    // into the results
    double dEndMs = 0; // its present step's limit, on CwMonotonicMs
    BOOL bResolving = FALSE;
    // Connected, in the queue for a judge's turn; or graded working, in
    // the queue for a turn of the https:// judge's host.
    BOOL bQueued = FALSE;
    CUpstreamConfig upstream;
    CString strMarker;
    std::unique_ptr<CJudgeProbe> pProbe;
    DWORD dwAddr = 0;     // the proxy's, once known
    BOOL bGraded = FALSE; // the plain answer is in the report
    // Then, for a proxy that works, the tunnel to the https:// judge.
    std::unique_ptr<CHttpsProbe> pHttps;
};

} // namespace

CProxyBatchTest::~CProxyBatchTest()
{
    Cancel();
    Wait();
}

BOOL CProxyBatchTest::Start(const CStringList& entries, LPCTSTR pszJudgeUrl, DWORD dwDeadlineMs, int nParallel,
                            DWORD dwStepLimitMs, HWND hWndNotify, UINT nMsg)
{
    if (m_thread.joinable()) return FALSE;
    m_results.clear();
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        CString strEntry = entries.GetNext(pos);
        if (strEntry.IsEmpty()) continue;
        CProxyBatchResult result;
        result.strEntry = strEntry;
        m_results.push_back(result);
    }
    m_pDeadline.reset(new CNetDeadline(dwDeadlineMs));
    m_strJudgeUrl = pszJudgeUrl;
    m_dwStepLimitMs = dwStepLimitMs;
    m_nDone = 0;
    m_nTotal = static_cast<int>(m_results.size());
    m_bFinished = false;
    m_bHasJudge = false;
    m_nWakePort = 0;
    m_hWndNotify = hWndNotify;
    m_nNotifyMsg = nMsg;
    // One item of the wait is the waker's.
    nParallel = std::max(1, std::min(nParallel, SOCK_WAIT_MAX - 1));
    try {
        m_thread = std::thread(Run, this, nParallel);
    } catch (...) {
        m_bFinished = true;
        return FALSE;
    }
    return TRUE;
}

void CProxyBatchTest::Cancel()
{
    if (!m_pDeadline) return;
    m_pDeadline->Cancel();
    if (WORD nPort = m_nWakePort) SockWakeListener(nPort);
}

BOOL CProxyBatchTest::Wait(DWORD dwMilliseconds)
{
    if (!m_thread.joinable()) return TRUE;
    for (DWORD dwWaited = 0; !m_bFinished; dwWaited += 10) {
        if (dwMilliseconds != 0xFFFFFFFF && dwWaited >= dwMilliseconds) return FALSE;
        Sleep(10);
    }
    m_thread.join();
    return TRUE;
}

void CProxyBatchTest::Run(CProxyBatchTest* pThis, int nParallel)
{
    std::vector<CJudgeTarget> judges = ReadJudgeTargets(pThis->m_strJudgeUrl);
    if (!judges.empty()) {
        pThis->m_bHasJudge = true;
        pThis->TestAll(nParallel, judges);
    }
    pThis->MarkFinished();
}

void CProxyBatchTest::MarkFinished()
{
    if (m_bFinished.exchange(true)) return;
    // The owner finishes at once instead of at its next look.
    if (m_hWndNotify) PostMessageA(m_hWndNotify, m_nNotifyMsg, 0, 0);
}

void CProxyBatchTest::TestAll(int nParallel, const std::vector<CJudgeTarget>& judges)
{
    std::vector<CString> judgeHosts;
    for (const CJudgeTarget& judge : judges) judgeHosts.push_back(judge.strHost);
    CJudgePacer pacer(judgeHosts, m_nJudgePerSecond, kJudgeWindowMs);
    WORD nWakePort = 0;
    SOCKET_HANDLE waker = SockOpenWaker(&nWakePort);
    if (waker == NO_SOCKET) return;
    m_nWakePort = nWakePort;
    // A cancel that came before the waker was there is seen below.
    CNameLookups lookups(nWakePort, kLookupThreads);
    // Each slot stays where it is while it is in flight: the queue for the
    // judges' turns points at them.
    std::vector<std::unique_ptr<CSlot>> slots;
    slots.reserve(static_cast<size_t>(nParallel));
    std::deque<CSlot*> waitingForTurn;
    std::deque<CSlot*> waitingForTunnel;
    std::vector<SOCK_WAIT_ITEM> items;
    std::vector<CSlot*> slotOfItem;
    std::vector<CNameAnswer> answers;
    int nNext = 0;

    // The entry's result: graded when its answer came, dead when it did not
    // in its own time, untested when the batch itself ran out first.
    auto retire = [&](size_t nSlot) {
        CSlot& slot = *slots[nSlot];
        CProxyGradeReport& report = m_results[static_cast<size_t>(slot.nIndex)].report;
        if (slot.pProbe && !slot.bGraded)
            slot.pProbe->Finish(slot.upstream, slot.strMarker, report);
        else if (!slot.pProbe)
            report.eGrade = PROXY_GRADE_DEAD;
        if (slot.pHttps) slot.pHttps->Finish(report);
        if (report.eGrade == PROXY_GRADE_DEAD && m_pDeadline->IsOver()) report = CProxyGradeReport();
        ++m_nDone;
        std::swap(slots[nSlot], slots.back());
        slots.pop_back();
    };
    auto connect = [&](CSlot& slot, DWORD dwAddr) {
        slot.bResolving = FALSE;
        slot.dwAddr = dwAddr;
        slot.pProbe.reset(new CJudgeProbe);
        // An HTTP proxy shows first that it answers at all (see Connect).
        slot.pProbe->Connect(dwAddr, slot.upstream.nUpstreamPort, CwMonotonicMs(),
                             slot.upstream.eKind == UPSTREAM_HTTP);
    };
    // The proxy answered: it asks the judge whose turn it got.
    auto ask = [&](CSlot& slot, const CJudgeTarget& judge, double dNow) {
        const CUpstreamConfig& upstream = slot.upstream;
        slot.strMarker = MakeJudgeMarker();
        slot.dEndMs = dNow + m_dwStepLimitMs;
        // Through SOCKS the judge is asked for by its name, as the browser's
        // requests will be, and gets the request itself; an HTTP proxy gets
        // the name in the URL, with the account the local proxy would send.
        if (upstream.IsSocks())
            slot.pProbe->UseSocks(upstream.eKind == UPSTREAM_SOCKS4A ? SOCKS_V4A : SOCKS_V5, judge.strHost, judge.nPort,
                                  upstream.strProxyUser, upstream.strProxyPassword);
        slot.pProbe->Ask(BuildJudgeRequest(judge, upstream, slot.strMarker), dNow);
    };
    auto admit = [&](int nIndex) {
        slots.emplace_back(new CSlot);
        CSlot& added = *slots.back();
        added.nIndex = nIndex;
        added.dEndMs = CwMonotonicMs() + m_dwStepLimitMs;
        // The route the local proxy would take through it: the same reader.
        UpstreamFromEntry(m_results[static_cast<size_t>(nIndex)].strEntry, added.upstream);
        if (added.upstream.strUpstreamHost.IsEmpty() || added.upstream.nUpstreamPort == 0) return; // no probe: dead
        DWORD dwAddr = 0;
        if (SockParseIPv4(added.upstream.strUpstreamHost, &dwAddr))
            connect(added, dwAddr);
        else
            added.bResolving = lookups.Ask(nIndex, added.upstream.strUpstreamHost);
    };
    CJudgeTarget httpsJudge;
    const BOOL bHttps = FindHttpsJudge(m_strJudgeUrl, httpsJudge);
    // The https:// judge is asked through every tunnel: it takes turns as
    // the others do, those of an http:// judge of the same host among them.
    const int nHttpsHost = bHttps ? pacer.AddHost(httpsJudge.strHost) : -1;
    // A proxy whose plain answer came in and shows it working then waits
    // for the https:// judge's turn and is asked for a tunnel, with a step
    // limit of its own: one socket per entry at a time, and no tunnel to a
    // proxy already known dead.
    auto advance = [&](CSlot& slot) {
        if (slot.bGraded || !slot.pProbe || !slot.pProbe->IsDone()) return;
        CProxyGradeReport& report = m_results[static_cast<size_t>(slot.nIndex)].report;
        slot.pProbe->Finish(slot.upstream, slot.strMarker, report);
        slot.bGraded = TRUE;
        if (!bHttps || report.eGrade <= PROXY_GRADE_DEAD) return;
        slot.bQueued = TRUE;
        slot.dEndMs = kNoLimit;
        waitingForTunnel.push_back(&slot);
    };
    auto waiting = [](const CSlot& slot) {
        return slot.bQueued || slot.bResolving || (slot.pProbe && !slot.pProbe->IsDone()) ||
               (slot.pHttps && !slot.pHttps->IsDone());
    };

    while (!m_pDeadline->IsOver()) {
        answers.clear();
        lookups.TakeAnswers(answers);
        for (const CNameAnswer& answer : answers)
            for (const std::unique_ptr<CSlot>& pSlot : slots)
                if (pSlot->nIndex == answer.nTag && pSlot->bResolving) {
                    pSlot->bResolving = FALSE;
                    if (answer.bFound) connect(*pSlot, answer.dwAddr);
                }
        double dNow = CwMonotonicMs();
        // The tunnels first: their entries hold a place in flight already.
        while (!waitingForTunnel.empty() && pacer.TakeHost(nHttpsHost, dNow)) {
            CSlot* pSlot = waitingForTunnel.front();
            waitingForTunnel.pop_front();
            pSlot->bQueued = FALSE;
            pSlot->pHttps.reset(new CHttpsProbe);
            pSlot->pHttps->Connect(pSlot->upstream, pSlot->dwAddr, httpsJudge, pSlot->strMarker);
            pSlot->dEndMs = dNow + m_dwStepLimitMs;
        }
        // The turns that are free go to the proxies that connected first.
        while (!waitingForTurn.empty()) {
            int nJudge = pacer.Take(dNow);
            if (nJudge < 0) break;
            CSlot* pSlot = waitingForTurn.front();
            waitingForTurn.pop_front();
            pSlot->bQueued = FALSE;
            ask(*pSlot, judges[static_cast<size_t>(nJudge)], dNow);
        }
        for (size_t i = slots.size(); i-- > 0;) {
            CSlot& slot = *slots[i];
            if (!slot.bQueued) advance(slot);
            if (!slot.bQueued && (!waiting(slot) || dNow >= slot.dEndMs)) retire(i);
        }
        while (static_cast<int>(slots.size()) < nParallel && nNext < m_nTotal) {
            admit(nNext++);
            advance(*slots.back());
            if (!waiting(*slots.back())) retire(slots.size() - 1);
        }
        if (slots.empty() && nNext >= m_nTotal) break;

        // Wait for the first socket, the waker, the nearest step limit or
        // the next judge's turn.
        items.clear();
        slotOfItem.clear();
        items.push_back(SOCK_WAIT_ITEM{waker, SOCK_WANT_READ, 0});
        slotOfItem.push_back(nullptr);
        double dNearest = dNow + m_pDeadline->RemainingMs();
        if (!waitingForTurn.empty()) dNearest = std::min(dNearest, pacer.NextTurnMs(dNow));
        if (!waitingForTunnel.empty()) dNearest = std::min(dNearest, pacer.NextHostTurnMs(nHttpsHost, dNow));
        for (const std::unique_ptr<CSlot>& pSlot : slots) {
            dNearest = std::min(dNearest, pSlot->dEndMs);
            if (pSlot->pHttps) {
                if (pSlot->pHttps->Socket() == NO_SOCKET || !pSlot->pHttps->Want()) continue;
                items.push_back(SOCK_WAIT_ITEM{pSlot->pHttps->Socket(), pSlot->pHttps->Want(), 0});
                slotOfItem.push_back(pSlot.get());
                continue;
            }
            if (!pSlot->pProbe || pSlot->pProbe->Socket() == NO_SOCKET || !pSlot->pProbe->Want()) continue;
            items.push_back(SOCK_WAIT_ITEM{pSlot->pProbe->Socket(), pSlot->pProbe->Want(), 0});
            slotOfItem.push_back(pSlot.get());
        }
        int nTimeoutMs = static_cast<int>(std::min(2147483647.0, std::max(1.0, dNearest - dNow + 1)));
        int nReady = SockWaitMany(items.data(), static_cast<int>(items.size()), nTimeoutMs);
        if (nReady < 0) break;
        dNow = CwMonotonicMs();
        for (size_t i = 0; i < items.size() && nReady > 0; ++i) {
            if (!items[i].nReady) continue;
            --nReady;
            CSlot* pSlot = slotOfItem[i];
            if (!pSlot) {
                // Taken off, or every later wait would end at once.
                char byte;
                SockRecv(waker, &byte, 1);
                continue;
            }
            if (pSlot->pHttps) {
                pSlot->pHttps->OnReady(items[i].nReady);
                continue;
            }
            CJudgeProbe::EStep eWas = pSlot->pProbe->Step();
            pSlot->pProbe->OnReady(items[i].nReady, dNow);
            CJudgeProbe::EStep eNow = pSlot->pProbe->Step();
            if (eNow == CJudgeProbe::STEP_CONNECTED) {
                pSlot->bQueued = TRUE;
                pSlot->dEndMs = kNoLimit;
                waitingForTurn.push_back(pSlot);
            } else if (eNow != eWas) {
                // Each step has its own limit.
                pSlot->dEndMs = dNow + m_dwStepLimitMs;
            }
        }
    }
    // What is still in flight ran out with the batch: untested. The owner
    // may take the results now; closing thousands of sockets takes a while
    // under Wine (one wineserver request each), and nobody need wait for it
    // but the join.
    // A plain grade already in keeps its place; only its tunnel is untested.
    for (const std::unique_ptr<CSlot>& pSlot : slots)
        if (!pSlot->bGraded) m_results[static_cast<size_t>(pSlot->nIndex)].report = CProxyGradeReport();
    m_nWakePort = 0;
    MarkFinished();
    waitingForTurn.clear();
    waitingForTunnel.clear();
    slots.clear();
    SockClose(waker);
}
