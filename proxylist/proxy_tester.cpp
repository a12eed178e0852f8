// The proxy tester's measurements: the socket seam for reachability and
// connect time, the framework's internet classes for an HTTP proxy's speed
// sample, and our own client over the upstream dialer for a SOCKS proxy's.
#include "proxy_tester.h"

#include "framework/core/socket_api.h"
#include "framework/core/text_number.h"
#include "framework/win/message_box.h"
#include "http_get.h"
#include "proxy/local_proxy_server.h"
#include "proxy_entry.h"
#include "tick_clock.h"
#include "upstream_fetch.h"

#include <vector>

namespace {

// The first IPv4 address of a host name or dotted address, network order.
// The seam refuses an empty name: the resolver would answer with this
// machine's own addresses, and an entry without a host does not name it.
BOOL ResolveHost(LPCTSTR pszHost, DWORD& rAddr, const CNetDeadline* pDeadline = nullptr)
{
    if (pDeadline) return ResolveIPv4Within(pszHost, &rAddr, *pDeadline);
    return SockInitOnce() && SockResolveIPv4(pszHost, &rAddr);
}

// The connect's own limit, cut to what is left of the job.
DWORD ConnectLimit(const CNetDeadline* pDeadline)
{
    DWORD dwLimit = GetHttpTimeouts().dwConnectMs;
    if (pDeadline && pDeadline->RemainingMs() < dwLimit) dwLimit = pDeadline->RemainingMs();
    return dwLimit;
}

// One connection to the address within the limit; TRUE when it was made.
BOOL ConnectOnce(DWORD dwAddr, int nPort, DWORD dwLimitMs)
{
    if (!CwIsTcpPort(nPort) || dwLimitMs == 0) return FALSE;
    SOCKET_HANDLE s = SockConnectIPv4Within(dwAddr, static_cast<WORD>(nPort), dwLimitMs);
    if (s == NO_SOCKET) return FALSE;
    SockClose(s);
    return TRUE;
}

} // namespace

BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort, HWND hWndOwner)
{
    DWORD dwAddr = 0;
    if (!ResolveHost(pszHost, dwAddr)) {
        AfxMessageBox(PROXY_UNRESOLVED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    if (!ConnectOnce(dwAddr, nPort, ConnectLimit(nullptr))) {
        AfxMessageBox(PROXY_CONNECT_FAILED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    return TRUE;
}

BOOL CheckProxyReachableWithin(LPCTSTR pszHost, int nPort, const CNetDeadline& deadline, CString& rstrError)
{
    rstrError.Empty();
    DWORD dwAddr = 0;
    if (!ResolveHost(pszHost, dwAddr, &deadline)) {
        // A lookup cut off by the deadline did not say the name is unknown.
        rstrError = deadline.IsOver() ? PROXY_CONNECT_FAILED_TEXT : PROXY_UNRESOLVED_TEXT;
        return FALSE;
    }
    if (!ConnectOnce(dwAddr, nPort, ConnectLimit(&deadline))) {
        rstrError = PROXY_CONNECT_FAILED_TEXT;
        return FALSE;
    }
    return TRUE;
}

int MeasureConnectTime(LPCTSTR pszHost, int nPort, const CNetDeadline* pDeadline)
{
    if (!CwIsTcpPort(nPort)) return 0;
    DWORD dwAddr = 0;
    if (!ResolveHost(pszHost, dwAddr, pDeadline)) return 0;
    DWORD dwLimit = ConnectLimit(pDeadline);
    if (dwLimit == 0) return 0;
    double dStart = CwMonotonicMs();
    SOCKET_HANDLE s = SockConnectIPv4Within(dwAddr, static_cast<WORD>(nPort), dwLimit);
    if (s == NO_SOCKET) return 0;
    double dElapsed = CwMonotonicMs() - dStart;
    SockClose(s);
    return dElapsed < 1.0 ? 1 : static_cast<int>(dElapsed);
}

double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort, LPCTSTR pszSampleUrl, const CNetDeadline* pDeadline)
{
    if (!pszHost || !*pszHost || !CwIsTcpPort(nPort)) return 0.0;
    CString strProxy;
    if (pDeadline) {
        // WinINet would look the proxy's name up without any bound: give it
        // the address, found within the deadline.
        DWORD dwAddr = 0;
        if (!ResolveHost(pszHost, dwAddr, pDeadline)) return 0.0;
        const unsigned char* pb = reinterpret_cast<const unsigned char*>(&dwAddr);
        strProxy.Format("%u.%u.%u.%u:%d", pb[0], pb[1], pb[2], pb[3], nPort);
    } else {
        strProxy.Format("%s:%d", pszHost, nPort);
    }
    try {
        CHttpGet get;
        get.SetDeadline(pDeadline);
        const double dStart = CwMonotonicMs();
        // The session itself is opened for the proxy under test, so the
        // sample really comes through it.
        if (!get.Send(pszSampleUrl, strProxy)) return 0.0;
        // A proxy that cannot fetch the sample answers with its own error
        // page; timing that would praise a proxy that does not work.
        if (get.GetStatusCode() != 200) return 0.0;
        // The whole sample: one read of its start times the first packet,
        // which is the clock's resolution, not the proxy's speed.
        std::vector<char> buffer(16 * 1024);
        int nTotal = 0;
        for (;;) {
            UINT nRead = get.ReadWithin(buffer.data(), static_cast<UINT>(buffer.size()));
            if (nRead == 0) break;
            nTotal += static_cast<int>(nRead);
            if (nTotal >= PROXY_SPEED_SAMPLE_MAX_BYTES) break;
        }
        if (nTotal == 0) return 0.0;
        double dKBPerSec = SpeedOfSample(nTotal, CwMonotonicMs() - dStart);
        return dKBPerSec == SPEED_NOT_MEASURED ? SPEED_NOT_MEASURED : dKBPerSec / 1000.0;
    } catch (CException* e) {
        e->Delete();
        return 0.0;
    }
}

CString FormatProxyAvailableText(LPCTSTR pszEntry, int nResponseMs, double dKBPerSec)
{
    CString text;
    text.Format("Proxy Server %s is Available\r\nResponse Time %d milliseconds \r\n",
                MaskProxyPassword(pszEntry ? pszEntry : "").GetString(), nResponseMs);
    if (dKBPerSec == SPEED_NOT_MEASURED) return text + PROXY_SPEED_UNMEASURED_LINE;
    CString strSpeed;
    strSpeed.Format("Download Speed %.02f KB/sec \r\n", dKBPerSec);
    return text + strSpeed;
}

CSpeedSample MeasureSpeedThroughUpstream(const CUpstreamConfig& upstream, LPCTSTR pszSampleUrl,
                                         const CNetDeadline* pDeadline)
{
    CSpeedSample sample;
    CString strHost, strHostPort, strPath;
    WORD nPort = 0;
    if (!SplitHttpUrl(pszSampleUrl, strHost, nPort, strHostPort, strPath)) return sample;
    // Without a job, the limits a WinINet request of the tester has.
    const CHttpTimeouts limits = GetHttpTimeouts();
    CNetDeadline ownDeadline(limits.dwConnectMs + limits.dwReceiveMs);
    CJobDialPolicy policy(pDeadline ? *pDeadline : ownDeadline, 0x7FFFFFFF);
    CUpstreamFetch fetch;
    const BOOL bFetched =
        FetchThroughUpstream(upstream, strHost, nPort, BuildProxiedGet(upstream, strHostPort, strPath), policy, fetch,
                             PROXY_SPEED_SAMPLE_MAX_BYTES, TRUE);
    sample.dial = fetch.dial;
    if (bFetched && fetch.dwStatus == 407) sample.strRefused = AccountRefusalText(upstream);
    // As with WinINet: a proxy's own error page praises nothing.
    if (!bFetched || fetch.dwStatus != 200 || fetch.strBody.IsEmpty()) return sample;
    sample.dKBPerSec = SpeedOfSample(fetch.strBody.GetLength(), fetch.nTransferMs);
    return sample;
}

BOOL TestProxyEntry(LPCTSTR pszEntry, LPCTSTR pszSampleUrl, CProxyTestReport& rReport, const CNetDeadline* pDeadline)
{
    CUpstreamConfig upstream;
    UpstreamFromEntry(pszEntry, upstream);
    rReport = CProxyTestReport();
    rReport.nConnectMs = MeasureConnectTime(upstream.strUpstreamHost, upstream.nUpstreamPort, pDeadline);
    if (rReport.nConnectMs == 0) {
        rReport.strText = PROXY_NOT_AVAILABLE_TEXT;
        rReport.strCaption = PROXY_ERROR_CAPTION;
        return FALSE;
    }
    // The route the local proxy will take, account and all: WinINet would
    // test another one, and cannot speak SOCKS5.
    CSpeedSample sample = MeasureSpeedThroughUpstream(upstream, pszSampleUrl, pDeadline);
    rReport.dKBPerSec = sample.dKBPerSec;
    // It is there, but will not carry this user's pages: not the same as a
    // proxy that is gone, and another entry will not mend it.
    CString strRefused = sample.strRefused;
    if (sample.dial.eFailure == DIAL_SOCKS_FAILED && (sample.dial.eSocksError == SOCKS_ERROR_ACCOUNT_REFUSED ||
                                                      sample.dial.eSocksError == SOCKS_ERROR_ACCOUNT_WANTED))
        strRefused = sample.dial.Reason();
    if (!strRefused.IsEmpty()) {
        rReport.strText.Format(PROXY_ACCOUNT_REFUSED_FORMAT, MaskProxyPassword(pszEntry ? pszEntry : "").GetString(),
                               strRefused.GetString());
        rReport.strCaption = PROXY_ERROR_CAPTION;
        return FALSE;
    }
    rReport.strText = FormatProxyAvailableText(pszEntry, rReport.nConnectMs, rReport.dKBPerSec);
    return TRUE;
}
