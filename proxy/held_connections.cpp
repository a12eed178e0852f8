// The list of held connections, and ending the longest-idle one for room.
#include "proxy/internal/held_connections.h"

#include "framework/core/address_space.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<int> g_nMaxHeld{0}; // 0: the one for this process's address space

int MaxHeld()
{
    const int nSet = g_nMaxHeld.load();
    if (nSet > 0) return nSet;
    static const int s_nForThisProcess = HeldConnectionCap(ProcessAddressSpaceBytes());
    return s_nForThisProcess;
}

// Never destroyed: relays may still end while the process exits.
std::mutex& ListLock()
{
    static std::mutex* s_pLock = new std::mutex;
    return *s_pLock;
}

CHeldConnection* g_pFirst = nullptr; // guarded by ListLock()
int g_nHeld = 0;                     // guarded by ListLock()

} // namespace

int HeldConnectionCap(std::uint64_t nAddressSpace)
{
    // Even a process squeezed into little room serves a browser's usual
    // handful of connections per server.
    const int nLeast = 16;
    if (nAddressSpace <= PROGRAM_SPACE) return nLeast;
    const std::uint64_t nFits = (nAddressSpace - PROGRAM_SPACE) / HELD_CONNECTION_SPACE;
    if (nFits < static_cast<std::uint64_t>(nLeast)) return nLeast;
    return nFits < static_cast<std::uint64_t>(MAX_HELD_CONNECTIONS) ? static_cast<int>(nFits) : MAX_HELD_CONNECTIONS;
}

void SetMaxHeldConnections(int nMax)
{
    g_nMaxHeld.store(nMax > 0 ? nMax : 0);
}

int GetMaxHeldConnections()
{
    return MaxHeld();
}

int CountHeldConnections()
{
    std::lock_guard<std::mutex> lock(ListLock());
    return g_nHeld;
}

CHeldConnection::CHeldConnection(SOCKET_HANDLE sockBrowser)
    : m_sockBrowser(sockBrowser), m_idleSince(std::chrono::steady_clock::now())
{
    std::lock_guard<std::mutex> lock(ListLock());
    m_pNext = g_pFirst;
    if (g_pFirst) g_pFirst->m_pPrev = this;
    g_pFirst = this;
    m_bListed = true;
    ++g_nHeld;
}

void CHeldConnection::SetIdle(bool bIdle)
{
    std::lock_guard<std::mutex> lock(ListLock());
    if (bIdle && !m_bIdle) m_idleSince = std::chrono::steady_clock::now();
    m_bIdle = bIdle;
    if (!bIdle) m_bCarried = true;
}

void CHeldConnection::Release()
{
    std::lock_guard<std::mutex> lock(ListLock());
    if (!m_bListed) return;
    if (m_pPrev)
        m_pPrev->m_pNext = m_pNext;
    else
        g_pFirst = m_pNext;
    if (m_pNext) m_pNext->m_pPrev = m_pPrev;
    m_bListed = false;
    --g_nHeld;
}

BOOL MakeRoomForConnection()
{
    std::lock_guard<std::mutex> lock(ListLock());
    if (g_nHeld < MaxHeld()) return TRUE;
    // Connections already being ended still count until their threads
    // close them; each of them has made room for one newcomer already.
    int nEnding = 0;
    CHeldConnection* pOldest = nullptr;
    for (CHeldConnection* p = g_pFirst; p; p = p->m_pNext) {
        if (p->m_bEnded) {
            ++nEnding;
        } else if (p->m_bIdle && (!pOldest || p->m_idleSince < pOldest->m_idleSince)) {
            pOldest = p;
        }
    }
    if (g_nHeld - nEnding < MaxHeld()) return TRUE;
    if (!pOldest) return FALSE;
    // Its thread, waiting on the socket, wakes to the end of the stream and
    // closes the connection as if the browser had.
    pOldest->m_bEnded = true;
    SockShutdownBoth(pOldest->m_sockBrowser);
    return TRUE;
}

void EndIdleRelays()
{
    std::lock_guard<std::mutex> lock(ListLock());
    for (CHeldConnection* p = g_pFirst; p; p = p->m_pNext) {
        if (p->m_bEnded || !p->m_bIdle || !p->m_bCarried) continue;
        p->m_bEnded = true;
        SockShutdownBoth(p->m_sockBrowser);
    }
}
