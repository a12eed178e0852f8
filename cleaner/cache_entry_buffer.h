// CCacheEntryBuffer: the heap block the URL-cache calls write one entry
// record into. It is sized exactly to what the platform asks for and kept
// for the whole enumeration, so a walk over thousands of entries allocates
// once per larger entry, not once per entry.
#pragma once

#include <windows.h>
#include <wininet.h>

class CCacheEntryBuffer {
public:
    CCacheEntryBuffer() = default;
    ~CCacheEntryBuffer() { Release(); }
    CCacheEntryBuffer(const CCacheEntryBuffer&) = delete;
    CCacheEntryBuffer& operator=(const CCacheEntryBuffer&) = delete;

    // Frees the current block and takes a zero-filled one of exactly n
    // bytes. Throws the framework's CMemoryException when there is no such
    // block; the buffer is then empty.
    void Allocate(DWORD n);
    // Zero-fills the current block (nothing when empty).
    void Zero();
    // Frees the block and returns to empty.
    void Release();

    INTERNET_CACHE_ENTRY_INFOA* Data() const { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(m_pData); }
    DWORD Capacity() const { return m_dwCapacity; }

private:
    BYTE* m_pData = nullptr;
    DWORD m_dwCapacity = 0;
};
