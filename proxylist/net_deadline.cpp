// CNetDeadline on the monotonic clock, and the bounded name lookup.
#include "net_deadline.h"

#include "framework/core/socket_api.h"
#include "framework/core/thread_api.h"
#include "tick_clock.h"

#include <windows.h>

#include <cstring>

CNetDeadline::CNetDeadline(DWORD dwLimitMs) : m_dEndMs(dwLimitMs == 0xFFFFFFFF ? -1.0 : CwMonotonicMs() + dwLimitMs)
{
}

CNetDeadline::CNetDeadline(DWORD dwLimitMs, const CNetDeadline* pJob) : CNetDeadline(dwLimitMs)
{
    m_pJob = pJob;
}

DWORD CNetDeadline::RemainingMs() const
{
    DWORD dwOwn = OwnRemainingMs();
    if (!m_pJob || dwOwn == 0) return dwOwn;
    DWORD dwJob = m_pJob->RemainingMs();
    return dwOwn < dwJob ? dwOwn : dwJob;
}

DWORD CNetDeadline::OwnRemainingMs() const
{
    if (m_bCancelled) return 0;
    if (m_dEndMs < 0) return 0x7FFFFFFF;
    double dLeft = m_dEndMs - CwMonotonicMs();
    if (dLeft <= 0) return 0;
    if (dLeft >= 0x7FFFFFFF) return 0x7FFFFFFF;
    // A fraction of a millisecond left still counts as time left.
    return dLeft < 1.0 ? 1 : static_cast<DWORD>(dLeft);
}

namespace {

// Shared by the waiting job and the lookup thread; whichever lets go last
// frees it, so a job that gave up never waits for the resolver.
struct CLookup {
    std::atomic<long> nRefs{2};
    HANDLE hDone = nullptr;
    char szHost[256] = "";
    DWORD dwAddr = 0;
    BOOL bFound = FALSE;

    void Release()
    {
        if (--nRefs == 0) {
            CloseHandle(hDone);
            delete this;
        }
    }
};

unsigned int LookupProc(void* pParam)
{
    CLookup* pLookup = static_cast<CLookup*>(pParam);
    pLookup->bFound = SockResolveIPv4(pLookup->szHost, &pLookup->dwAddr);
    SetEvent(pLookup->hDone);
    pLookup->Release();
    return 0;
}

// How often a waiting lookup looks at the cancel flag.
const DWORD kCancelPollMs = 50;

} // namespace

BOOL ResolveIPv4Within(LPCTSTR pszHost, DWORD* pAddr, const CNetDeadline& deadline)
{
    if (!pszHost || !*pszHost || std::strlen(pszHost) >= sizeof CLookup().szHost) return FALSE;
    if (!SockInitOnce() || deadline.IsOver()) return FALSE;
    // A dotted address needs no name server and no thread.
    if (SockParseIPv4(pszHost, pAddr)) return TRUE;

    CLookup* pLookup = new CLookup;
    pLookup->hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::strcpy(pLookup->szHost, pszHost);
    if (!pLookup->hDone || !StartDetachedThread(LookupProc, pLookup)) {
        if (pLookup->hDone) CloseHandle(pLookup->hDone);
        delete pLookup;
        return FALSE;
    }
    BOOL bFound = FALSE;
    for (;;) {
        DWORD dwLeft = deadline.RemainingMs();
        if (dwLeft == 0) break;
        if (WaitForSingleObject(pLookup->hDone, dwLeft < kCancelPollMs ? dwLeft : kCancelPollMs) == WAIT_OBJECT_0) {
            bFound = pLookup->bFound;
            if (bFound) *pAddr = pLookup->dwAddr;
            break;
        }
    }
    pLookup->Release();
    return bFound;
}
