// One network job's bound: a deadline for the whole job, whatever the peer
// does, and a cancel flag that the job's owner (the dialog, at Exit or when
// the user cancels) sets from its own thread. The routines of a job ask it
// how long they may still wait before each connect, lookup or receive.
#pragma once

#include "framework/core/types.h"

#include <atomic>

class CNetDeadline {
public:
    // dwLimitMs from now; 0xFFFFFFFF: no deadline, only the cancel flag.
    explicit CNetDeadline(DWORD dwLimitMs);
    // A part of a job with a bound of its own: over when either is, and
    // cancelled with its job. The job's deadline must outlive it.
    CNetDeadline(DWORD dwLimitMs, const CNetDeadline* pJob);
    CNetDeadline(const CNetDeadline&) = delete;
    CNetDeadline& operator=(const CNetDeadline&) = delete;

    // Milliseconds the job may still wait: 0 once the deadline has passed
    // or the job was cancelled, never more than 0x7FFFFFFF.
    DWORD RemainingMs() const;
    BOOL IsOver() const { return RemainingMs() == 0; }

    // Any thread.
    void Cancel() { m_bCancelled = true; }
    BOOL IsCancelled() const { return m_bCancelled || (m_pJob && m_pJob->IsCancelled()) ? TRUE : FALSE; }

private:
    DWORD OwnRemainingMs() const;

    double m_dEndMs; // on CwMonotonicMs; negative: no deadline
    std::atomic<bool> m_bCancelled{false};
    const CNetDeadline* m_pJob = nullptr;
};

// The first IPv4 address of a host name or dotted address (network order),
// as SockResolveIPv4, but giving up when the deadline passes or the job is
// cancelled: a name server that does not answer would otherwise hold the
// job for the resolver's own limits. The lookup itself goes on, on a thread
// of its own, and its answer is dropped.
BOOL ResolveIPv4Within(LPCTSTR pszHost, DWORD* pAddr, const CNetDeadline& deadline);
