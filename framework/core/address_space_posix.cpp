// POSIX half of the address-space seam: a 64-bit process has far more
// address space than anything here could use, unless a limit says otherwise.
#include "framework/core/address_space.h"

#include <sys/resource.h>

std::uint64_t ProcessAddressSpaceBytes()
{
    const std::uint64_t nGenerous = std::uint64_t(1) << 40;
    rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < nGenerous)
        return limit.rlim_cur > 0 ? static_cast<std::uint64_t>(limit.rlim_cur) : nGenerous;
    return nGenerous;
}
