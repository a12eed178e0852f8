// The sending half of a probe that never blocks: what is left of a step's
// bytes goes out as far as the socket takes it, and the probe learns whether
// the step's bytes are all gone, the socket is full for now, or it failed.
#pragma once

#include "framework/core/socket_api.h"

#include <string>

enum EPendingSend { PENDING_SENT, PENDING_WAITING, PENDING_FAILED };

inline EPendingSend SendPending(SOCKET_HANDLE s, const std::string& strPending, size_t& rnSent)
{
    while (rnSent < strPending.size()) {
        int n = SockSendSome(s, strPending.data() + rnSent, static_cast<int>(strPending.size() - rnSent));
        if (n == SOCK_NOTHING_YET) return PENDING_WAITING;
        if (n <= 0) return PENDING_FAILED;
        rnSent += static_cast<size_t>(n);
    }
    return PENDING_SENT;
}
