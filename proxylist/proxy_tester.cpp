// The proxy tester's measurements: the socket seam for reachability and
// connect time, the framework's internet classes for the speed sample.
#include "proxy_tester.h"

#include "framework/core/socket_api.h"
#include "framework/core/text_number.h"
#include "framework/win/message_box.h"
#include "http_get.h"
#include "proxy_entry.h"
#include "tick_clock.h"

namespace {

// The first IPv4 address of a host name or dotted address, network order.
// The seam refuses an empty name: the resolver would answer with this
// machine's own addresses, and an entry without a host does not name it.
BOOL ResolveHost(LPCTSTR pszHost, DWORD& rAddr)
{
    return SockInitOnce() && SockResolveIPv4(pszHost, &rAddr);
}

} // namespace

BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort, HWND hWndOwner)
{
    DWORD dwAddr = 0;
    if (!ResolveHost(pszHost, dwAddr)) {
        AfxMessageBox(PROXY_UNRESOLVED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    BOOL bConnected = FALSE;
    if (CwIsTcpPort(nPort)) {
        SOCKET_HANDLE s = SockConnectIPv4(dwAddr, static_cast<WORD>(nPort));
        bConnected = s != NO_SOCKET;
        SockClose(s);
    }
    if (!bConnected) {
        AfxMessageBox(PROXY_CONNECT_FAILED_TEXT, MB_OK, PROXY_ERROR_CAPTION, hWndOwner);
        return FALSE;
    }
    return TRUE;
}

int MeasureConnectTime(LPCTSTR pszHost, int nPort)
{
    if (!CwIsTcpPort(nPort)) return 0;
    DWORD dwAddr = 0;
    if (!ResolveHost(pszHost, dwAddr)) return 0;
    double dStart = CwMonotonicMs();
    SOCKET_HANDLE s = SockConnectIPv4(dwAddr, static_cast<WORD>(nPort));
    if (s == NO_SOCKET) return 0;
    double dElapsed = CwMonotonicMs() - dStart;
    SockClose(s);
    return dElapsed < 1.0 ? 1 : static_cast<int>(dElapsed);
}

double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort, LPCTSTR pszSampleUrl)
{
    if (!pszHost || !*pszHost || !CwIsTcpPort(nPort)) return 0.0;
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
