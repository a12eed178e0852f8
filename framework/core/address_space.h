// The address-space seam: how much address space this process has at all,
// for bounds that must leave the rest of the program room (the connections
// the local proxy holds at once, each with its thread's stack).
//
// A 32-bit program gets 2 GB on a 32-bit Windows, 3 GB there with the
// boot switch, and 4 GB on a 64-bit one (the program is large-address
// aware); a bound fixed for one of them overflows another.
#pragma once

#include "framework/core/types.h"

#include <cstdint>

// Bytes of user address space the process can use; never 0. Nothing
// throws.
std::uint64_t ProcessAddressSpaceBytes();
