// The proxy tester's measurements: Winsock for reachability and connect
// time, the framework's internet classes for the speed sample.
// Winsock 2 before anything that brings in <windows.h> and its older Winsock.
#include <winsock2.h>

#include "proxy_tester.h"

#include "framework/win/message_box.h"
#include "http_get.h"
#include "proxy_entry.h"
#include "tick_clock.h"

namespace {

// Winsock for the length of one check; each check starts its own, as the
// checks may run before anything else in the program has.
class CWinsockScope {
public:
    CWinsockScope() { m_bStarted = WSAStartup(MAKEWORD(1, 1), &m_data) == 0; }
    ~CWinsockScope() { if (m_bStarted) WSACleanup(); }
    CWinsockScope(const CWinsockScope&) = delete;
    CWinsockScope& operator=(const CWinsockScope&) = delete;

private:
    WSADATA m_data;
    BOOL m_bStarted;
};

BOOL IsPortInRange(int nPort)
{
    return nPort >= 1 && nPort <= 65535;
}

// The first IPv4 address of a host name or dotted address. An empty name is
// refused: the resolver would answer with this machine's own addresses, and
// an entry without a host does not name this machine.
BOOL ResolveHost(LPCTSTR pszHost, in_addr& rAddr)
{
    if (!pszHost || !*pszHost) return FALSE;
    hostent* pHost = gethostbyname(pszHost);
    if (!pHost || pHost->h_addrtype != AF_INET || !pHost->h_addr_list || !pHost->h_addr_list[0]) return FALSE;
    memcpy(&rAddr, pHost->h_addr_list[0], sizeof rAddr);
    return TRUE;
}

sockaddr_in MakeAddress(const in_addr& addr, int nPort)
{
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr = addr;
    sa.sin_port = htons(static_cast<u_short>(nPort));
    return sa;
}

// One TCP connect within the connect time limit of the tester's requests:
// a blocking connect to a host that drops the handshake would wait for the
// system's own limit, minutes with the dialog frozen meanwhile.
BOOL ConnectWithin(SOCKET s, const sockaddr_in& sa, DWORD dwLimitMs)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return FALSE;
    BOOL bConnected = connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    if (!bConnected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit;
        limit.tv_sec = static_cast<long>(dwLimitMs / 1000);
        limit.tv_usec = static_cast<long>(dwLimitMs % 1000) * 1000;
        if (select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(s, &writable)) {
            int error = 0;
            int size = sizeof error;
            bConnected = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
        }
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return bConnected;
}

} // namespace

BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort, HWND hWndOwner)
{
    CWinsockScope winsock;
    in_addr addr;
    if (!ResolveHost(pszHost, addr)) {
        AfxMessageBox(PROXY_UNRESOLVED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    BOOL bConnected = FALSE;
    if (IsPortInRange(nPort)) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s != INVALID_SOCKET) {
            sockaddr_in sa = MakeAddress(addr, nPort);
            bConnected = ConnectWithin(s, sa, GetHttpTimeouts().dwConnectMs);
            closesocket(s);
        }
    }
    if (!bConnected) {
        AfxMessageBox(PROXY_CONNECT_FAILED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    return TRUE;
}

int MeasureConnectTime(LPCTSTR pszHost, int nPort)
{
    if (!IsPortInRange(nPort)) return 0;
    CWinsockScope winsock;
    in_addr addr;
    if (!ResolveHost(pszHost, addr)) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    sockaddr_in sa = MakeAddress(addr, nPort);
    double dStart = CwMonotonicMs();
    int nResult = 0;
    if (ConnectWithin(s, sa, GetHttpTimeouts().dwConnectMs)) {
        double dElapsed = CwMonotonicMs() - dStart;
        nResult = dElapsed < 1.0 ? 1 : static_cast<int>(dElapsed);
    }
    closesocket(s);
    return nResult;
}

double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort, LPCTSTR pszSampleUrl)
{
    if (!pszHost || !*pszHost || !IsPortInRange(nPort)) return 0.0;
    CString strProxy;
    strProxy.Format("%s:%d", pszHost, nPort);
    try {
        CHttpGet get;
        // The session itself is opened for the proxy under test, so the
        // sample really comes through it.
        if (!get.Send(pszSampleUrl, strProxy)) return 0.0;
        // A proxy that cannot fetch the sample answers with its own error
        // page; timing that would praise a proxy that does not work.
        if (get.GetStatusCode() != 200) return 0.0;
        char sample[PROXY_SPEED_SAMPLE_BYTES];
        double dStart = CwMonotonicMs();
        UINT nRead = get.GetFile()->Read(sample, sizeof sample);
        if (nRead == 0) return 0.0;
        double dElapsed = CwMonotonicMs() - dStart;
        if (dElapsed < PROXY_MIN_ELAPSED_MS) dElapsed = PROXY_MIN_ELAPSED_MS;
        return (nRead / 1024.0) / dElapsed;
    } catch (CException* e) {
        e->Delete();
        return 0.0;
    }
}

CString FormatProxyAvailableText(LPCTSTR pszEntry, int nConnectMs, double dKBPerSec)
{
    CString text;
    text.Format("Proxy Server %s is Available\r\nResponse Time %d milliseconds \r\nDownload Speed %.02f KB/sec \r\n",
                pszEntry ? pszEntry : "", nConnectMs, dKBPerSec);
    return text;
}

BOOL TestProxyEntry(LPCTSTR pszEntry, LPCTSTR pszSampleUrl, CProxyTestReport& rReport)
{
    CString strHost;
    int nPort = 0;
    SplitProxyEntry(pszEntry, strHost, nPort);
    rReport = CProxyTestReport();
    rReport.nConnectMs = MeasureConnectTime(strHost, nPort);
    if (rReport.nConnectMs == 0) {
        rReport.strText = PROXY_NOT_AVAILABLE_TEXT;
        rReport.strCaption = PROXY_ERROR_CAPTION;
        return FALSE;
    }
    rReport.dKBPerSec = SpeedToKBPerSec(MeasureDownloadSpeed(strHost, nPort, pszSampleUrl));
    rReport.strText = FormatProxyAvailableText(pszEntry, rReport.nConnectMs, rReport.dKBPerSec);
    return TRUE;
}
