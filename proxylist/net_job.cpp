// CNetJob over the detached threads of the thread seam: the state is shared
// by the owner and the thread, and whichever lets go last frees it.
#include "net_job.h"

#include "framework/core/thread_api.h"

#include <atomic>

namespace {

std::atomic<DWORD> g_dwListDownloadMs{CNetJobLimits().dwListDownloadMs};
std::atomic<DWORD> g_dwProxyTestMs{CNetJobLimits().dwProxyTestMs};
std::atomic<DWORD> g_dwReachabilityMs{CNetJobLimits().dwReachabilityMs};
std::atomic<DWORD> g_dwGeneratorMs{CNetJobLimits().dwGeneratorMs};
std::atomic<DWORD> g_dwTestAllMs{CNetJobLimits().dwTestAllMs};
std::atomic<DWORD> g_dwTestAllEntryMs{CNetJobLimits().dwTestAllEntryMs};
std::atomic<int> g_nTestAllParallel{CNetJobLimits().nTestAllParallel};
std::atomic<WPARAM> g_nNextSerial{1};

} // namespace

void SetNetJobLimits(const CNetJobLimits& limits)
{
    g_dwListDownloadMs = limits.dwListDownloadMs;
    g_dwProxyTestMs = limits.dwProxyTestMs;
    g_dwReachabilityMs = limits.dwReachabilityMs;
    g_dwGeneratorMs = limits.dwGeneratorMs;
    g_dwTestAllMs = limits.dwTestAllMs;
    g_dwTestAllEntryMs = limits.dwTestAllEntryMs;
    g_nTestAllParallel = limits.nTestAllParallel;
}

CNetJobLimits GetNetJobLimits()
{
    CNetJobLimits limits;
    limits.dwListDownloadMs = g_dwListDownloadMs;
    limits.dwProxyTestMs = g_dwProxyTestMs;
    limits.dwReachabilityMs = g_dwReachabilityMs;
    limits.dwGeneratorMs = g_dwGeneratorMs;
    limits.dwTestAllMs = g_dwTestAllMs;
    limits.dwTestAllEntryMs = g_dwTestAllEntryMs;
    limits.nTestAllParallel = g_nTestAllParallel;
    return limits;
}

struct CNetJob::CState {
    explicit CState(DWORD dwLimitMs) : deadline(dwLimitMs) {}
    ~CState()
    {
        if (hDone) CloseHandle(hDone);
    }

    void Release()
    {
        if (--nRefs == 0) delete this;
    }

    static unsigned int Proc(void* pParam)
    {
        CState* pState = static_cast<CState*>(pParam);
        pState->work(pState->deadline);
        // The work's captures go with the thread's part, not with the owner's.
        pState->work = nullptr;
        SetEvent(pState->hDone);
        if (pState->hWndNotify && !pState->deadline.IsCancelled())
            PostMessageA(pState->hWndNotify, pState->nMsg, pState->nSerial, 0);
        pState->Release();
        return 0;
    }

    CNetDeadline deadline;
    Work work;
    HANDLE hDone = nullptr;
    HWND hWndNotify = nullptr;
    UINT nMsg = 0;
    WPARAM nSerial = 0;
    std::atomic<long> nRefs{2};
};

CNetJob::~CNetJob()
{
    Cancel();
}

BOOL CNetJob::Start(DWORD dwLimitMs, Work work, HWND hWndNotify, UINT nMsg)
{
    Cancel();
    CState* pState = new CState(dwLimitMs);
    pState->hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    pState->work = std::move(work);
    pState->hWndNotify = hWndNotify;
    pState->nMsg = nMsg;
    pState->nSerial = g_nNextSerial++;
    if (!pState->hDone || !StartDetachedThread(&CState::Proc, pState)) {
        delete pState;
        return FALSE;
    }
    m_pState = pState;
    return TRUE;
}

BOOL CNetJob::IsRunning() const
{
    return m_pState && !IsFinished();
}

BOOL CNetJob::IsFinished() const
{
    return m_pState && WaitForSingleObject(m_pState->hDone, 0) == WAIT_OBJECT_0;
}

BOOL CNetJob::Wait(DWORD dwMaxMs) const
{
    if (!m_pState) return FALSE;
    DWORD dwLeft = m_pState->deadline.RemainingMs();
    return WaitForSingleObject(m_pState->hDone, dwLeft < dwMaxMs ? dwLeft : dwMaxMs) == WAIT_OBJECT_0 || IsFinished();
}

WPARAM CNetJob::GetSerial() const
{
    return m_pState ? m_pState->nSerial : 0;
}

DWORD CNetJob::RemainingMs() const
{
    return m_pState ? m_pState->deadline.RemainingMs() : 0;
}

void CNetJob::Cancel(DWORD dwWaitMs)
{
    if (!m_pState) return;
    m_pState->deadline.Cancel();
    if (dwWaitMs) WaitForSingleObject(m_pState->hDone, dwWaitMs);
    m_pState->Release();
    m_pState = nullptr;
}
