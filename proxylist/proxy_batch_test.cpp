// The batch's thread: it keeps up to its number of entries in flight, each
// a probe whose socket joins one wait with the waker (cancel, and the
// answers of name lookups), until every entry is graded or the deadline
// passes. The judge hears only from the proxies.
#include "proxy_batch_test.h"

#include "https_probe.h"
#include "judge_probe.h"
#include "name_lookups.h"
#include "tick_clock.h"
#include "upstream_fetch.h"

#include <windows.h>

#include <algorithm>

namespace {

// Threads for host names; most lists name addresses and need none.
const int kLookupThreads = 8;

// One entry in flight.
struct CSlot {
    int nIndex = 0;    // into the results
    double dEndMs = 0; // its own limit, on CwMonotonicMs
    BOOL bResolving = FALSE;
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
                            DWORD dwEntryLimitMs, HWND hWndNotify, UINT nMsg)
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
    m_dwEntryLimitMs = dwEntryLimitMs;
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
        pThis->m_judge = judges.front();
        pThis->m_bHasJudge = true;
        pThis->TestAll(nParallel);
    }
    pThis->MarkFinished();
}

void CProxyBatchTest::MarkFinished()
{
    if (m_bFinished.exchange(true)) return;
    // The owner finishes at once instead of at its next look.
    if (m_hWndNotify) PostMessageA(m_hWndNotify, m_nNotifyMsg, 0, 0);
}

void CProxyBatchTest::TestAll(int nParallel)
{
    WORD nWakePort = 0;
    SOCKET_HANDLE waker = SockOpenWaker(&nWakePort);
    if (waker == NO_SOCKET) return;
    m_nWakePort = nWakePort;
    // A cancel that came before the waker was there is seen below.
    CNameLookups lookups(nWakePort, kLookupThreads);
    std::vector<CSlot> slots;
    slots.reserve(static_cast<size_t>(nParallel));
    std::vector<SOCK_WAIT_ITEM> items;
    std::vector<size_t> slotOfItem;
    std::vector<CNameAnswer> answers;
    int nNext = 0;
    CJudgeTarget httpsJudge;
    const BOOL bHttps = FindHttpsJudge(m_strJudgeUrl, httpsJudge);

    // The entry's result: graded when its answer came, dead when it did not
    // in its own time, untested when the batch itself ran out first.
    auto retire = [&](size_t nSlot) {
        CSlot& slot = slots[nSlot];
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
        const CUpstreamConfig& upstream = slot.upstream;
        slot.bResolving = FALSE;
        slot.dwAddr = dwAddr;
        slot.strMarker = MakeJudgeMarker();
        slot.pProbe.reset(new CJudgeProbe);
        // Through SOCKS the judge is asked for by its name, as the browser's
        // requests will be, and gets the request itself; an HTTP proxy gets
        // the name in the URL, with the account the local proxy would send.
        if (upstream.IsSocks())
            slot.pProbe->UseSocks(upstream.eKind == UPSTREAM_SOCKS4A ? SOCKS_V4A : SOCKS_V5, m_judge.strHost,
                                  m_judge.nPort, upstream.strProxyUser, upstream.strProxyPassword);
        slot.pProbe->Connect(dwAddr, upstream.nUpstreamPort, BuildJudgeRequest(m_judge, upstream, slot.strMarker),
                             CwMonotonicMs());
    };
    // A proxy whose plain answer came in and shows it working is then
    // asked for a tunnel, with a limit of its own: one socket per entry at
    // a time, and no tunnel to a proxy already known dead.
    auto advance = [&](CSlot& slot, double dNow) {
        if (slot.bGraded || !slot.pProbe || !slot.pProbe->IsDone()) return;
        CProxyGradeReport& report = m_results[static_cast<size_t>(slot.nIndex)].report;
        slot.pProbe->Finish(slot.upstream, slot.strMarker, report);
        slot.bGraded = TRUE;
        if (!bHttps || report.eGrade <= PROXY_GRADE_DEAD) return;
        slot.pHttps.reset(new CHttpsProbe);
        slot.pHttps->Connect(slot.upstream, slot.dwAddr, httpsJudge, slot.strMarker);
        slot.dEndMs = dNow + m_dwEntryLimitMs;
    };
    auto waiting = [](const CSlot& slot) {
        return slot.bResolving || (slot.pProbe && !slot.pProbe->IsDone()) || (slot.pHttps && !slot.pHttps->IsDone());
    };
    auto admit = [&](int nIndex) {
        CSlot slot;
        slot.nIndex = nIndex;
        slot.dEndMs = CwMonotonicMs() + m_dwEntryLimitMs;
        slots.push_back(std::move(slot));
        CSlot& added = slots.back();
        // The route the local proxy would take through it: the same reader.
        UpstreamFromEntry(m_results[static_cast<size_t>(nIndex)].strEntry, added.upstream);
        if (added.upstream.strUpstreamHost.IsEmpty() || added.upstream.nUpstreamPort == 0) return; // no probe: dead
        DWORD dwAddr = 0;
        if (SockParseIPv4(added.upstream.strUpstreamHost, &dwAddr))
            connect(added, dwAddr);
        else
            added.bResolving = lookups.Ask(nIndex, added.upstream.strUpstreamHost);
    };

    while (!m_pDeadline->IsOver()) {
        answers.clear();
        lookups.TakeAnswers(answers);
        for (const CNameAnswer& answer : answers)
            for (CSlot& slot : slots)
                if (slot.nIndex == answer.nTag && slot.bResolving) {
                    slot.bResolving = FALSE;
                    if (answer.bFound) connect(slot, answer.dwAddr);
                }
        double dNow = CwMonotonicMs();
        for (size_t i = slots.size(); i-- > 0;) {
            advance(slots[i], dNow);
            if (!waiting(slots[i]) || dNow >= slots[i].dEndMs) retire(i);
        }
        while (static_cast<int>(slots.size()) < nParallel && nNext < m_nTotal) {
            admit(nNext++);
            advance(slots.back(), dNow);
            if (!waiting(slots.back())) retire(slots.size() - 1);
        }
        if (slots.empty() && nNext >= m_nTotal) break;

        // Wait for the first socket, the waker, or the nearest entry limit.
        items.clear();
        slotOfItem.clear();
        items.push_back(SOCK_WAIT_ITEM{waker, SOCK_WANT_READ, 0});
        slotOfItem.push_back(slots.size());
        double dNearest = dNow + m_pDeadline->RemainingMs();
        for (size_t i = 0; i < slots.size(); ++i) {
            dNearest = std::min(dNearest, slots[i].dEndMs);
            if (slots[i].pHttps) {
                if (slots[i].pHttps->Socket() == NO_SOCKET) continue;
                items.push_back(SOCK_WAIT_ITEM{slots[i].pHttps->Socket(), slots[i].pHttps->Want(), 0});
                slotOfItem.push_back(i);
                continue;
            }
            if (!slots[i].pProbe || slots[i].pProbe->Socket() == NO_SOCKET) continue;
            items.push_back(SOCK_WAIT_ITEM{slots[i].pProbe->Socket(), slots[i].pProbe->Want(), 0});
            slotOfItem.push_back(i);
        }
        int nTimeoutMs = static_cast<int>(std::min(2147483647.0, std::max(1.0, dNearest - dNow + 1)));
        int nReady = SockWaitMany(items.data(), static_cast<int>(items.size()), nTimeoutMs);
        if (nReady < 0) break;
        dNow = CwMonotonicMs();
        for (size_t i = 0; i < items.size() && nReady > 0; ++i) {
            if (!items[i].nReady) continue;
            --nReady;
            if (i == 0) {
                // Taken off, or every later wait would end at once.
                char byte;
                SockRecv(waker, &byte, 1);
                continue;
            }
            CSlot& slot = slots[slotOfItem[i]];
            if (slot.pHttps)
                slot.pHttps->OnReady(items[i].nReady);
            else
                slot.pProbe->OnReady(items[i].nReady, dNow);
        }
    }
    // What is still in flight ran out with the batch: untested. The owner
    // may take the results now; closing hundreds of sockets takes a while
    // under Wine (one wineserver request each), and nobody need wait for it
    // but the join.
    // A plain grade already in keeps its place; only its tunnel is untested.
    for (const CSlot& slot : slots)
        if (!slot.bGraded) m_results[static_cast<size_t>(slot.nIndex)].report = CProxyGradeReport();
    m_nWakePort = 0;
    MarkFinished();
    slots.clear();
    SockClose(waker);
}
