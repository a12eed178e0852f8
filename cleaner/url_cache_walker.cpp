// CUrlCacheWalker: FindFirst and FindNext over the platform's size protocol.
#include "url_cache_walker.h"

void CUrlCacheWalker::PrepareBuffer(DWORD dwRequested)
{
    if (m_buffer.Capacity() < dwRequested)
        m_buffer.Allocate(dwRequested);
    else
        m_buffer.Zero();
}

INTERNET_CACHE_ENTRY_INFOA* CUrlCacheWalker::FindFirst(LPCSTR pszPattern)
{
    m_hFind.Close();
    DWORD dwRequested = INITIAL_BUFFER_SIZE;
    for (;;) {
        PrepareBuffer(dwRequested);
        DWORD dwOffered = dwRequested;
        HANDLE hFind = FindFirstUrlCacheEntryA(pszPattern, m_buffer.Data(), &dwRequested);
        if (hFind) {
            m_hFind.Attach(hFind);
            return m_buffer.Data();
        }
        // A short buffer leaves the size needed in dwRequested. A platform
        // that says "too small" without asking for more would have us call
        // it for ever with the same size: treat that as the end instead.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwRequested <= dwOffered) return nullptr;
    }
}

INTERNET_CACHE_ENTRY_INFOA* CUrlCacheWalker::FindNext()
{
    if (!m_hFind.Get()) return nullptr;
    DWORD dwRequested = m_buffer.Capacity();
    for (;;) {
        PrepareBuffer(dwRequested);
        DWORD dwOffered = dwRequested;
        if (FindNextUrlCacheEntryA(m_hFind.Get(), m_buffer.Data(), &dwRequested)) return m_buffer.Data();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwRequested <= dwOffered) return nullptr;
    }
}
