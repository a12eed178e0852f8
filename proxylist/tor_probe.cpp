// The Tor probe: a connection to each of Tor's usual SOCKS ports on
// loopback, the three-byte SOCKS5 greeting, and a look at the two-byte
// answer, every wait bounded.
#include "proxylist/tor_probe.h"

#include "framework/core/socket_api.h"
#include "proxylist/tick_clock.h"

#include <mutex>

namespace {

// A Tor that is there answers on loopback at once; one that hangs must not
// hold the list's refresh.
const DWORD kPerPortLimitMs = 1000;

std::mutex s_portsMutex;
std::vector<WORD> s_ports = {9050, 9150};

// Version 5, one method offered: 0, no account. Tor's SOCKS port takes it.
const char kGreeting[] = {0x05, 0x01, 0x00};

// Version 5 and the offered method chosen; 0xFF (none acceptable) or any
// other byte is not a SOCKS port this program could use without an account.
BOOL IsNoAccountChoice(const unsigned char* pReply)
{
    return pReply[0] == 0x05 && pReply[1] == 0x00;
}

} // namespace

std::vector<WORD> SetTorProbePorts(const std::vector<WORD>& ports)
{
    std::lock_guard<std::mutex> lock(s_portsMutex);
    std::vector<WORD> previous = s_ports;
    s_ports = ports;
    return previous;
}

CString TorListEntry(WORD nPort)
{
    CString strEntry;
    strEntry.Format("socks5://127.0.0.1:%u (Tor)", static_cast<unsigned>(nPort));
    return strEntry;
}

BOOL AnswersSocks5Greeting(WORD nPort, DWORD dwLimitMs)
{
    if (!SockInitOnce() || dwLimitMs == 0) return FALSE;
    double dEnd = CwMonotonicMs() + dwLimitMs;
    DWORD dwLoopback = 0;
    SockParseIPv4("127.0.0.1", &dwLoopback);
    SOCKET_HANDLE s = SockConnectIPv4Within(dwLoopback, nPort, dwLimitMs);
    if (s == NO_SOCKET) return FALSE;

    unsigned char reply[2] = {};
    int nHave = 0;
    if (SockSendAll(s, kGreeting, sizeof kGreeting)) {
        while (nHave < 2) {
            double dLeft = dEnd - CwMonotonicMs();
            if (dLeft <= 0 || SockWaitReadable(s, NO_SOCKET, static_cast<int>(dLeft) + 1) <= 0) break;
            int n = SockRecv(s, reinterpret_cast<char*>(reply) + nHave, 2 - nHave);
            if (n <= 0) break;
            nHave += n;
        }
    }
    SockClose(s);
    return nHave == 2 && IsNoAccountChoice(reply);
}

CString FindTorEntry(const CNetDeadline& deadline)
{
    std::vector<WORD> ports;
    {
        std::lock_guard<std::mutex> lock(s_portsMutex);
        ports = s_ports;
    }
    for (WORD nPort : ports) {
        DWORD dwLimit = deadline.RemainingMs();
        if (dwLimit == 0) break;
        if (dwLimit > kPerPortLimitMs) dwLimit = kPerPortLimitMs;
        if (AnswersSocks5Greeting(nPort, dwLimit)) return TorListEntry(nPort);
    }
    return CString();
}
