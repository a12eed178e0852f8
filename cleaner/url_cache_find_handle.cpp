// CUrlCacheFindHandle: attach and close of the enumeration handle.
#include "url_cache_find_handle.h"

void CUrlCacheFindHandle::Attach(HANDLE h)
{
    Close();
    m_hFind = h;
}

void CUrlCacheFindHandle::Close()
{
    if (m_hFind) {
        FindCloseUrlCache(m_hFind);
        m_hFind = nullptr;
    }
}
