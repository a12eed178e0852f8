// CRegDwordValue: one REG_DWORD setting with a cached Get and a Set that
// writes through. Get may be called from any thread (the relay threads read
// the script and object switches while the user-interface thread saves them).
#pragma once

#include "registry/reg_value.h"

#include <atomic>

class CRegDwordValue : public CRegValue {
public:
    CRegDwordValue(LPCTSTR pszFullPath, DWORD dwDefault, BOOL bForce, HKEY hRoot);

    // The cache once a read or write has succeeded (and force is off),
    // otherwise a fresh read.
    DWORD Get();
    // Writes when the value differs from the cache, when force is on, and
    // also while nothing has been read or written yet - a first save is
    // never skipped just because it equals the cache's starting 0. A write
    // the registry refuses leaves the cache as it was, so Get never answers
    // with a value that is not stored.
    CRegDwordValue& Set(DWORD dwValue);
    // TRUE when the last Set wrote and the registry refused it; a Set that
    // had nothing to write clears it.
    BOOL LastSetFailed() const { return m_bLastSetFailed.load(std::memory_order_acquire); }
    // The stored value, or the default when it cannot be read.
    DWORD Read();
    // Stores the cache.
    void Write();

    // Nonzero once a read or a write has succeeded.
    BOOL IsRead() const;
    DWORD GetDefault() const { return m_dwDefault; }

private:
    // Cache, read flag, a "write under way" mark and a count of writes,
    // packed in one atomic word. A Read that raced a Set must not put the
    // older registry value over the newer cache, so a Read commits only when
    // no write started since it looked and none is under way; one word lets
    // that check and the commit be a single compare-and-swap, without a lock.
    typedef unsigned long long State;
    static const State kValueMask = 0xFFFFFFFFull;
    static const State kReadFlag = 1ull << 32;
    static const State kWriting = 1ull << 33;
    static const State kWriteUnit = 1ull << 34;

    static DWORD CacheOf(State s) { return static_cast<DWORD>(s & kValueMask); }
    static State WritesOf(State s) { return s & ~(kValueMask | kReadFlag | kWriting); }
    // Stores dwValue; when the registry refuses it and no later write has
    // begun since stamp, the cache goes back to dwPrevious. Returns whether
    // the value was stored.
    BOOL FinishWrite(DWORD dwValue, DWORD dwPrevious, State stamp);

    std::atomic<State> m_state;
    std::atomic<BOOL> m_bLastSetFailed;
    const DWORD m_dwDefault;
    const BOOL m_bForce;
};
