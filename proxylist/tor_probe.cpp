// The Tor probe: a connection to each of Tor's usual SOCKS ports on
// loopback, the three-byte SOCKS5 greeting, and a look at the two-byte
// answer, every wait bounded.
#include "proxylist/tor_probe.h"

#include "framework/core/socket_api.h"
#include "proxy/socks_handshake.h"
#include "proxylist/tick_clock.h"

#include <mutex>

namespace {

// A Tor that is there answers on loopback at once; one that hangs must not
// hold the list's refresh.
const DWORD kPerPortLimitMs = 1000;

std::mutex s_portsMutex;
std::vector<WORD> s_ports = {9050, 9150};

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

    // The handshake the dialer uses, without an account: its greeting
    // offers only "no account", which Tor's SOCKS port takes. The target
    // named here is never sent: the probe stops at the server's choice.
    CSocksHandshake handshake;
    std::string strGreeting, strNext;
    CSocksHandshake::EStatus eStatus = handshake.Start(SOCKS_V5, "127.0.0.1", nPort, CString(), CString(), strGreeting);
    if (eStatus == CSocksHandshake::NEED_MORE &&
        SockSendAll(s, strGreeting.data(), static_cast<int>(strGreeting.size()))) {
        // Until the server has chosen: a chosen "no account" has the
        // handshake put its request next; any other answer fails it.
        while (eStatus == CSocksHandshake::NEED_MORE && strNext.empty()) {
            double dLeft = dEnd - CwMonotonicMs();
            if (dLeft <= 0 || SockWaitReadable(s, NO_SOCKET, static_cast<int>(dLeft) + 1) <= 0) break;
            char buf[2];
            int nWant = handshake.BytesWanted();
            int n = SockRecv(s, buf, nWant < 1 ? 1 : (nWant > 2 ? 2 : nWant));
            if (n <= 0) {
                eStatus = handshake.Closed();
                break;
            }
            int nUsed = 0;
            eStatus = handshake.Feed(buf, n, &nUsed, strNext);
        }
    }
    SockClose(s);
    return eStatus == CSocksHandshake::NEED_MORE && !strNext.empty();
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
