// Name lookups for a thread that waits on many sockets at once: the host
// names of a proxy list resolved on a few threads of their own, each answer
// handed back with the tag it was asked with and the waiting thread woken
// through its waker socket. A lookup the system never answers holds one of
// those threads, never the asker: the asker bounds each of its entries
// itself and drops answers it no longer wants.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/types.h"

#include <memory>
#include <vector>

struct CNameAnswer {
    int nTag = 0;
    BOOL bFound = FALSE;
    DWORD dwAddr = 0; // network order
};

class CNameLookups {
public:
    // Threads started on the first Ask, up to nThreads; each answer sends a
    // datagram to nWakePort (SockOpenWaker's port).
    CNameLookups(WORD nWakePort, int nThreads);
    // Lets go without waiting: the threads end after their current lookup,
    // and what they find is dropped.
    ~CNameLookups();
    CNameLookups(const CNameLookups&) = delete;
    CNameLookups& operator=(const CNameLookups&) = delete;

    // Queues a lookup of strHost. FALSE when no thread could be had.
    BOOL Ask(int nTag, const CString& strHost);
    // Moves the answers that came since the last call into rAnswers.
    void TakeAnswers(std::vector<CNameAnswer>& rAnswers);

    // What the threads and the asker share; opaque outside the .cpp.
    struct CShared;

private:
    std::shared_ptr<CShared> m_pShared;
    int m_nMaxThreads;
    int m_nThreads = 0;
};
