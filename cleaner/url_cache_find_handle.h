// CUrlCacheFindHandle: owns one URL-cache enumeration handle and closes it
// exactly once, whether the walker starts a new enumeration or goes away.
#pragma once

#include <windows.h>
#include <wininet.h>

class CUrlCacheFindHandle {
public:
    CUrlCacheFindHandle() = default;
    ~CUrlCacheFindHandle() { Close(); }
    CUrlCacheFindHandle(const CUrlCacheFindHandle&) = delete;
    CUrlCacheFindHandle& operator=(const CUrlCacheFindHandle&) = delete;

    // Closes the handle held, if any, then holds h.
    void Attach(HANDLE h);
    // FindCloseUrlCache on the held handle, if any; holds none afterwards.
    void Close();
    HANDLE Get() const { return m_hFind; }

private:
    HANDLE m_hFind = nullptr;
};
