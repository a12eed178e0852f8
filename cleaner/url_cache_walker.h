// CUrlCacheWalker: enumerates the WinINet URL cache one entry record at a
// time and hides the platform's two-step protocol (call, learn the size it
// needs, call again) behind a buffer that grows on demand.
//
// A walker belongs to one thread. An entry pointer it returns lies inside
// its buffer and stays valid until the next FindFirst or FindNext on the
// same walker, or its destruction. Platform failures come back only as a
// null entry: a failed FindFirst looks like an empty cache. Running out of
// memory while growing the buffer throws the framework's CMemoryException.
#pragma once

#include "cache_entry_buffer.h"
#include "url_cache_find_handle.h"

// The cache's own container prefixes, spelt as WinINet names them: Wine
// matches a search pattern case-sensitively, so "cookie:" or "visited:"
// find nothing there, while Windows accepts either spelling.
#define URL_CACHE_COOKIE_PREFIX "Cookie:"
#define URL_CACHE_VISITED_PREFIX "Visited:"

class CUrlCacheWalker {
public:
    // The size the buffer starts from, and the first size every FindFirst
    // offers the platform.
    enum { INITIAL_BUFFER_SIZE = 4096 };

    CUrlCacheWalker() = default;
    CUrlCacheWalker(const CUrlCacheWalker&) = delete;
    CUrlCacheWalker& operator=(const CUrlCacheWalker&) = delete;

    // Closes any enumeration still held and starts a new one. A null
    // pattern lists the content entries; the first entry, or null when
    // there is none (then no handle is held).
    INTERNET_CACHE_ENTRY_INFOA* FindFirst(LPCSTR pszPattern);
    // FindFirst on the cookie entries.
    INTERNET_CACHE_ENTRY_INFOA* FindFirstCookie() { return FindFirst(URL_CACHE_COOKIE_PREFIX); }
    // FindFirst on the visited-page (history) entries.
    INTERNET_CACHE_ENTRY_INFOA* FindFirstVisited() { return FindFirst(URL_CACHE_VISITED_PREFIX); }
    // The next entry of the enumeration, or null at its end (and for ever
    // after) or when none was started.
    INTERNET_CACHE_ENTRY_INFOA* FindNext();

    // For tests and measurements: the buffer's size and the handle held.
    DWORD GetBufferCapacity() const { return m_buffer.Capacity(); }
    HANDLE GetFindHandle() const { return m_hFind.Get(); }

private:
    // Makes the buffer at least dwRequested bytes (exactly that when it
    // must grow) and zero-fills it for the next platform call.
    void PrepareBuffer(DWORD dwRequested);

    CCacheEntryBuffer m_buffer;
    CUrlCacheFindHandle m_hFind;
};
