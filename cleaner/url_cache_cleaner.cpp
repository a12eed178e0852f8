// CUrlCacheCleaner: the four URL-cache jobs and DeleteEntry.
#include "url_cache_cleaner.h"

#include "url_cache_walker.h"

namespace {

enum EntryChoice { ALL_LISTED, CONTENT_ONLY };

// One enumeration from pEntry to its end, each chosen entry deleted before
// the next is asked for. FALSE when it was told to stop on the way.
BOOL DeleteListed(const CUrlCacheCleaner& cleaner, CUrlCacheWalker& walker, INTERNET_CACHE_ENTRY_INFOA* pEntry,
                  EntryChoice choice, const CStopCheck* pStop)
{
    for (; pEntry; pEntry = walker.FindNext()) {
        if (choice == ALL_LISTED || cleaner.IsContentEntry(pEntry->CacheEntryType))
            CUrlCacheCleaner::DeleteEntry(pEntry);
        if (IsStopRequested(pStop)) return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL CUrlCacheCleaner::DeleteEntry(const INTERNET_CACHE_ENTRY_INFOA* pEntry)
{
    return pEntry->lpszSourceUrlName && DeleteUrlCacheEntryA(pEntry->lpszSourceUrlName);
}

void CUrlCacheCleaner::DeleteCookies(const CStopCheck* pStop)
{
    CUrlCacheWalker walker;
    DeleteListed(*this, walker, walker.FindFirstCookie(), ALL_LISTED, pStop);
}

void CUrlCacheCleaner::DeleteHistoryEntries(const CStopCheck* pStop)
{
    CUrlCacheWalker walker;
    if (DeleteListed(*this, walker, walker.FindFirstVisited(), ALL_LISTED, pStop)) ClearHistoryStore();
}

void CUrlCacheCleaner::DeleteTemporaryFiles(const CStopCheck* pStop)
{
    CUrlCacheWalker walker;
    DeleteListed(*this, walker, walker.FindFirst(nullptr), CONTENT_ONLY, pStop);
}

void CUrlCacheCleaner::DeleteAllEntries(const CStopCheck* pStop)
{
    CUrlCacheWalker walker;
    if (DeleteListed(*this, walker, walker.FindFirst(nullptr), ALL_LISTED, pStop)) ClearHistoryStore();
}
