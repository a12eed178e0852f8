// CCacheEntryBuffer: allocation, zero-fill and release of the entry block.
#include "cache_entry_buffer.h"

#include "framework/core/exceptions.h"

#include <cstring>
#include <new>

void CCacheEntryBuffer::Allocate(DWORD n)
{
    Release();
    // The platform's record must start on a boundary fit for its pointers,
    // which operator new guarantees and a byte offset would not.
    BYTE* pData = new (std::nothrow) BYTE[n];
    if (!pData) AfxThrowMemoryException();
    std::memset(pData, 0, n);
    m_pData = pData;
    m_dwCapacity = n;
}

void CCacheEntryBuffer::Zero()
{
    if (m_pData) std::memset(m_pData, 0, m_dwCapacity);
}

void CCacheEntryBuffer::Release()
{
    delete[] m_pData;
    m_pData = nullptr;
    m_dwCapacity = 0;
}
