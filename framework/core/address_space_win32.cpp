// Win32 half of the address-space seam: GlobalMemoryStatusEx.
#include "framework/core/address_space.h"

#include <windows.h>

std::uint64_t ProcessAddressSpaceBytes()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    // The total, not what is free: Wine reports the free part as the total
    // less 64 KB whatever is in use, and the total is what a bound is
    // reckoned against.
    if (GlobalMemoryStatusEx(&status) && status.ullTotalVirtual != 0) return status.ullTotalVirtual;
    return 2ull << 30; // the least any Windows gives a process
}
