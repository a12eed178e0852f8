// CUrlCacheCleaner: the clean-up jobs on the WinINet URL cache (cookies,
// visited pages, temporary files, everything) and the browser's own
// history store. Each job makes its own walker, runs one enumeration to
// its end, deleting each entry before it asks for the next, and drops the
// walker. Nothing is reported: an entry the platform refuses to delete
// stays for the next pass.
#pragma once

#include "stop_check.h"

#include <windows.h>
#include <wininet.h>

class CUrlCacheCleaner {
public:
    // Each job takes an optional stop check, asked between two entries: a
    // job told to stop ends there, with its walker closed, and skips the
    // history store.
    void DeleteCookies(const CStopCheck* pStop = nullptr);
    // The visited entries, then the history store.
    void DeleteHistoryEntries(const CStopCheck* pStop = nullptr);
    // Every entry that is neither a cookie nor a history record.
    void DeleteTemporaryFiles(const CStopCheck* pStop = nullptr);
    // Every entry the null pattern lists, untested, then the history store.
    void DeleteAllEntries(const CStopCheck* pStop = nullptr);

    // Clears the browser's history store through the URL history object;
    // its answer is ignored (Wine does not implement it). COM is
    // initialised around the call and left as it was found.
    void ClearHistoryStore();

    // DeleteUrlCacheEntry of the entry's source URL name; TRUE when the
    // platform deleted it.
    static BOOL DeleteEntry(const INTERNET_CACHE_ENTRY_INFOA* pEntry);

    static BOOL IsCookieEntry(DWORD dwType) { return (dwType & COOKIE_CACHE_ENTRY) == COOKIE_CACHE_ENTRY; }
    static BOOL IsHistoryEntry(DWORD dwType) { return (dwType & URLHISTORY_CACHE_ENTRY) == URLHISTORY_CACHE_ENTRY; }
    BOOL IsContentEntry(DWORD dwType) const { return !IsCookieEntry(dwType) && !IsHistoryEntry(dwType); }
};
