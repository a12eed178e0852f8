// CRegDwordValue: REG_DWORD values with an atomic cache (see the header for
// why the cache, read flag and write count share one word).
#include "registry/reg_dword_value.h"

static_assert(sizeof(DWORD) == 4, "a DWORD setting is 4 bytes in the registry");

CRegDwordValue::CRegDwordValue(LPCTSTR pszFullPath, DWORD dwDefault, BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_state(0), m_dwDefault(dwDefault), m_bForce(bForce)
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
    m_bLastSetFailed = false;
    State s = m_state.load(std::memory_order_acquire);
    for (;;) {
        if (!m_bForce && (s & kReadFlag) && CacheOf(s) == dwValue) return *this;
        State next = ((s & ~kValueMask) + kWriteUnit) | kWriting | dwValue;
        if (m_state.compare_exchange_weak(s, next, std::memory_order_acq_rel)) break;
    }
    m_bLastSetFailed = !FinishWrite(dwValue, s);
    return *this;
}

void CRegDwordValue::Write()
{
    State s = m_state.load(std::memory_order_acquire);
    while (!m_state.compare_exchange_weak(s, (s + kWriteUnit) | kWriting, std::memory_order_acq_rel)) {
    }
    FinishWrite(CacheOf(s), s);
}

BOOL CRegDwordValue::FinishWrite(DWORD dwValue, State before)
{
    DWORD dwData = dwValue;
    BOOL bStored = SetData(REG_DWORD, &dwData, sizeof(dwData));
    State s = m_state.load(std::memory_order_acquire);
    State next;
    do {
        next = s & ~kWriting;
        if (bStored) {
            next |= kReadFlag;
        } else if (CacheOf(s) == dwValue) {
            // The registry still holds what it held: so does the cache
            // (unless another write has put its own value there since).
            next = (next & ~(kValueMask | kReadFlag)) | (before & (kValueMask | kReadFlag));
        }
    } while (!m_state.compare_exchange_weak(s, next, std::memory_order_acq_rel));
    return bStored;
}
