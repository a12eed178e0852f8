// Dialing the first hop and, through a SOCKS proxy, the handshake on it.
#include "proxy/upstream_dialer.h"

#include "framework/core/text_number.h"

#include <chrono>
#include <string>

namespace {

typedef std::chrono::steady_clock Clock;

// A connect under a bound is tried in slices of this much, so that a
// cancelled job is seen between them; a proxy slower than a slice to shake
// hands is of no use anyway.
const DWORD CONNECT_SLICE_MS = 2000;
// A bounded handshake looks at the bound this often while it waits.
const DWORD HANDSHAKE_POLL_MS = 100;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

SOCKET_HANDLE ConnectHop(DWORD dwAddr, WORD nPort, const CDialPolicy& policy, CDialResult& rResult)
{
    const Clock::time_point start = Clock::now();
    SOCKET_HANDLE sock = NO_SOCKET;
    if (policy.RemainingMs() == DIAL_UNBOUNDED) {
        sock = SockConnectIPv4(dwAddr, nPort);
    } else {
        DWORD dwLeft;
        while (sock == NO_SOCKET && (dwLeft = policy.RemainingMs()) > 0) {
            const Clock::time_point slice = Clock::now();
            sock = SockConnectIPv4Within(dwAddr, nPort, dwLeft < CONNECT_SLICE_MS ? dwLeft : CONNECT_SLICE_MS);
            // Refused at once: no point in asking again.
            if (sock == NO_SOCKET && MsSince(slice) < CONNECT_SLICE_MS / 2) break;
        }
    }
    if (sock == NO_SOCKET) {
        rResult.eFailure = DIAL_CONNECT_FAILED;
        return NO_SOCKET;
    }
    const double dMs = MsSince(start);
    rResult.nConnectMs = dMs < 1.0 ? 1 : static_cast<int>(dMs);
    return sock;
}

// The SOCKS exchange on a connection to the proxy. FALSE with rResult set
// when it did not end in a granted connection.
BOOL Handshake(SOCKET_HANDLE sock, const CUpstreamConfig& config, const CString& strHost, WORD nPort,
               const CDialPolicy& policy, CDialResult& rResult)
{
    CSocksHandshake handshake;
    std::string strOut;
    CSocksHandshake::EStatus eStatus = handshake.Start(config.eKind == UPSTREAM_SOCKS4A ? SOCKS_V4A : SOCKS_V5, strHost,
                                                       nPort, config.strProxyUser, config.strProxyPassword, strOut);
    const bool bOwnBound = policy.RemainingMs() == DIAL_UNBOUNDED;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(DIAL_HANDSHAKE_MS);
    while (eStatus == CSocksHandshake::NEED_MORE) {
        if (!strOut.empty()) {
            if (!SockSendAll(sock, strOut.data(), static_cast<int>(strOut.size()))) {
                eStatus = handshake.Closed();
                break;
            }
            strOut.clear();
        }
        long long nLeft = bOwnBound ? std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()
                                    : static_cast<long long>(policy.RemainingMs());
        if (nLeft <= 0) {
            rResult.eFailure = DIAL_TIMED_OUT;
            return FALSE;
        }
        if (!bOwnBound && nLeft > HANDSHAKE_POLL_MS) nLeft = HANDSHAKE_POLL_MS;
        const int nReady = SockWaitReadable(sock, NO_SOCKET, static_cast<int>(nLeft));
        if (nReady == 0) continue;
        // Only what the step needs: a byte past the reply is the tunnel's.
        char buf[300];
        int nWant = handshake.BytesWanted();
        if (nWant > static_cast<int>(sizeof buf)) nWant = static_cast<int>(sizeof buf);
        const int n = nReady < 0 ? -1 : SockRecv(sock, buf, nWant);
        if (n <= 0) {
            eStatus = handshake.Closed();
            break;
        }
        int nUsed = 0;
        eStatus = handshake.Feed(buf, n, &nUsed, strOut);
    }
    if (eStatus == CSocksHandshake::DONE) return TRUE;
    rResult.eFailure = DIAL_SOCKS_FAILED;
    rResult.eSocksError = handshake.Error();
    return FALSE;
}

} // namespace

DWORD CDialPolicy::RemainingMs() const
{
    return DIAL_UNBOUNDED;
}

BOOL CDialPolicy::Resolve(LPCTSTR pszHost, DWORD* pAddr) const
{
    return SockResolveIPv4(pszHost, pAddr);
}

BOOL CDialPolicy::MayConnect(DWORD, WORD) const
{
    return TRUE;
}

BOOL CDialResult::UpstreamWorks() const
{
    if (eFailure == DIAL_OK) return TRUE;
    if (eFailure != DIAL_SOCKS_FAILED) return FALSE;
    switch (eSocksError) {
    case SOCKS_ERROR_NETWORK_UNREACHABLE:
    case SOCKS_ERROR_HOST_UNREACHABLE:
    case SOCKS_ERROR_CONNECTION_REFUSED:
    case SOCKS_ERROR_TTL_EXPIRED:
    case SOCKS_ERROR_NOT_ALLOWED: return TRUE;
    default: return FALSE;
    }
}

CString CDialResult::Reason() const
{
    switch (eFailure) {
    case DIAL_OK: return "connected";
    case DIAL_BAD_ADDRESS: return "no such address";
    case DIAL_UNRESOLVED: return "the proxy's name was not found";
    case DIAL_REFUSED_HOP: return "a connection to this proxy itself";
    case DIAL_CONNECT_FAILED: return "no connection";
    case DIAL_SOCKS_FAILED: return SocksErrorText(eSocksError);
    case DIAL_TIMED_OUT: return "no answer in time";
    }
    return "no connection";
}

SOCKET_HANDLE DialUpstream(const CUpstreamConfig& config, const CString& strHost, int nPort, const CDialPolicy& policy,
                           CDialResult& rResult)
{
    rResult = CDialResult();
    const bool bUpstream = config.bUseUpstream != FALSE;
    // Direct, the server is the first hop; otherwise the proxy is.
    const CString& strHop = bUpstream ? config.strUpstreamHost : strHost;
    const int nHopPort = bUpstream ? config.nUpstreamPort : nPort;
    if (strHop.IsEmpty() || !CwIsTcpPort(nHopPort) ||
        (config.IsSocks() && (strHost.IsEmpty() || !CwIsTcpPort(nPort)))) {
        rResult.eFailure = DIAL_BAD_ADDRESS;
        return NO_SOCKET;
    }
    if (policy.RemainingMs() == 0) {
        rResult.eFailure = DIAL_TIMED_OUT;
        return NO_SOCKET;
    }
    rResult.nHopPort = static_cast<WORD>(nHopPort);
    if (!policy.Resolve(strHop, &rResult.dwHopAddr)) {
        rResult.eFailure = policy.RemainingMs() == 0 ? DIAL_TIMED_OUT : DIAL_UNRESOLVED;
        return NO_SOCKET;
    }
    if (!policy.MayConnect(rResult.dwHopAddr, rResult.nHopPort)) {
        rResult.eFailure = DIAL_REFUSED_HOP;
        return NO_SOCKET;
    }
    SOCKET_HANDLE sock = ConnectHop(rResult.dwHopAddr, rResult.nHopPort, policy, rResult);
    if (sock == NO_SOCKET || !config.IsSocks()) return sock;
    if (!Handshake(sock, config, strHost, static_cast<WORD>(nPort), policy, rResult)) {
        SockClose(sock);
        return NO_SOCKET;
    }
    return sock;
}
