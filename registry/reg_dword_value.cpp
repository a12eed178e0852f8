// CRegDwordValue: REG_DWORD values with an atomic cache (see the header for
// why the cache, read flag and write count share one word).
#include "registry/reg_dword_value.h"

static_assert(sizeof(DWORD) == 4, "a DWORD setting is 4 bytes in the registry");

CRegDwordValue::CRegDwordValue(LPCTSTR pszFullPath, DWORD dwDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_state(0), m_bLastSetFailed(FALSE), m_dwDefault(dwDefault), m_bForce(bForce)
{
    Read();
}

BOOL CRegDwordValue::IsRead() const
{
    return (m_state.load(std::memory_order_acquire) & kReadFlag) != 0;
}

DWORD CRegDwordValue::Get()
{
    State s = m_state.load(std::memory_order_acquire);
    if ((s & kReadFlag) && !m_bForce) return CacheOf(s);
    return Read();
}

DWORD CRegDwordValue::Read()
{
    State seen = m_state.load(std::memory_order_acquire);
    // Data shorter than 4 bytes replaces only the low-order bytes, so the
    // query starts from the current cache.
    DWORD dwValue = CacheOf(seen);
    if (!QueryFixed(&dwValue, sizeof(dwValue))) return m_dwDefault;

    for (;;) {
        if (seen & kWriting) break; // a write is under way: the registry may already be newer
        State next = (seen & ~kValueMask) | kReadFlag | dwValue;
        State expected = seen;
        if (m_state.compare_exchange_weak(expected, next, std::memory_order_acq_rel)) break;
        // Another read committed, or a write began: retry only in the first case.
        if ((expected & ~(kValueMask | kReadFlag)) != (seen & ~(kValueMask | kReadFlag))) break;
        seen = expected;
    }
    return dwValue;
}

CRegDwordValue& CRegDwordValue::Set(DWORD dwValue)
{
    State s = m_state.load(std::memory_order_acquire);
    State next;
    for (;;) {
        if (!m_bForce && (s & kReadFlag) && CacheOf(s) == dwValue) {
            m_bLastSetFailed.store(FALSE, std::memory_order_release);
            return *this;
        }
        next = ((s & ~kValueMask) + kWriteUnit) | kWriting | dwValue;
        if (m_state.compare_exchange_weak(s, next, std::memory_order_acq_rel)) break;
    }
    BOOL bStored = FinishWrite(dwValue, CacheOf(s), next);
    m_bLastSetFailed.store(!bStored, std::memory_order_release);
    return *this;
}

void CRegDwordValue::Write()
{
    State s = m_state.load(std::memory_order_acquire);
    while (!m_state.compare_exchange_weak(s, (s + kWriteUnit) | kWriting, std::memory_order_acq_rel)) {
    }
    FinishWrite(CacheOf(s), CacheOf(s), (s + kWriteUnit) | kWriting);
}

BOOL CRegDwordValue::FinishWrite(DWORD dwValue, DWORD dwPrevious, State stamp)
{
    DWORD dwData = dwValue;
    BOOL bStored = SetData(REG_DWORD, &dwData, sizeof(dwData));
    State s = m_state.load(std::memory_order_acquire);
    State next;
    do {
        next = s & ~kWriting;
        if (bStored) {
            next |= kReadFlag;
        } else if (WritesOf(s) == WritesOf(stamp)) {
            // Refused, and ours is still the latest write: what the user
            // asked for was not saved, so the cache must not claim it was.
            next = (next & ~kValueMask) | dwPrevious;
        }
    } while (!m_state.compare_exchange_weak(s, next, std::memory_order_acq_rel));
    return bStored;
}
