// The proxy tester: is an upstream proxy there, how fast does it connect,
// and how fast does it fetch the vendor's speed sample.
#pragma once

#include "framework/core/cstring.h"
#include "net_deadline.h"
#include "proxy/upstream_dialer.h"

#include <windows.h>

// Texts of the tester, as the user sees them.
#define PROXY_TESTING_TEXT "Testing the proxy you selected. This may take a few seconds"
#define PROXY_NOT_AVAILABLE_TEXT "Proxy Server is NOT Available - Please select a different proxy"
#define PROXY_UNRESOLVED_TEXT "Unable to solve proxy server name"
#define PROXY_CONNECT_FAILED_TEXT "Unable to connect to proxy server"
#define PROXY_ERROR_CAPTION "Error"
// A SOCKS proxy that answers but will not take the account (or wants one):
// the entry and "the proxy refused the account" (or "the proxy wants an
// account").
#define PROXY_ACCOUNT_REFUSED_FORMAT "Proxy Server %s answers, but %s"

// The sample asked for, in bytes, and the clock's floor, in milliseconds.
constexpr unsigned PROXY_SPEED_SAMPLE_BYTES = 632;
constexpr double PROXY_MIN_ELAPSED_MS = 1.0;

// TRUE when the host resolves and one TCP connection to host:port succeeds.
// Otherwise shows "Unable to solve proxy server name" or "Unable to connect
// to proxy server" (caption "Error", OK, owned by hWndOwner) and returns
// FALSE. An empty host or a port outside 1..65535 never reaches the network.
// The connect, here and in MeasureConnectTime, gives up after the connect
// limit of GetHttpTimeouts (http_get.h), as the speed sample's requests do.
BOOL CheckProxyReachable(LPCTSTR pszHost, int nPort, HWND hWndOwner = nullptr);

// The same check for a job off the window's thread: shows nothing, gives the
// text the user is to see in rstrError instead, and gives up (with the
// connect failure's text) once the deadline has passed.
BOOL CheckProxyReachableWithin(LPCTSTR pszHost, int nPort, const CNetDeadline& deadline, CString& rstrError);

// Connect time to host:port in milliseconds, at least 1; 0 when the proxy
// cannot be reached. pDeadline, when given, bounds the lookup and the
// connect together (here and in the two routines below).
int MeasureConnectTime(LPCTSTR pszHost, int nPort, const CNetDeadline* pDeadline = nullptr);

// Kilobytes per millisecond of one read of the speed sample at pszSampleUrl
// fetched through the proxy host:port: the bytes that read really returned
// over its elapsed time (at least 1 ms) on a monotonic clock. 0 when the
// proxy or the server fails, or answers anything but 200.
// pszProxyAuthLine, when given, is the proxy's "Proxy-Authorization" line;
// *pdwStatus, when given, gets the answer's status (0 when none came).
double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort, LPCTSTR pszSampleUrl, const CNetDeadline* pDeadline = nullptr,
                            DWORD* pdwStatus = nullptr, LPCTSTR pszProxyAuthLine = nullptr);

// The same measurement through a SOCKS (or any) upstream with our own
// client over the upstream dialer: the sample's first bytes, up to
// PROXY_SPEED_SAMPLE_BYTES, over the time the answer took. rDial says why
// nothing came when the dial failed (a refused account, host unreachable...).
double MeasureSpeedThroughUpstream(const CUpstreamConfig& upstream, LPCTSTR pszSampleUrl, const CNetDeadline* pDeadline,
                                   CDialResult& rDial);

// The speed in kilobytes per millisecond as KB/sec for the user.
inline double SpeedToKBPerSec(double dKBPerMs)
{
    return dKBPerMs * 1000.0;
}

// "Proxy Server %s is Available\r\nResponse Time %d milliseconds \r\n
//  Download Speed %.02f KB/sec \r\n" from the entry, the connect time and
// the speed in KB/sec.
CString FormatProxyAvailableText(LPCTSTR pszEntry, int nConnectMs, double dKBPerSec);

// What testing one entry found and what to tell the user about it. The
// tester's whole work is one call that fills it, so a later line of the
// report is added here and nowhere near the dialog's threads.
struct CProxyTestReport {
    int nConnectMs = 0;     // 0: not reachable
    double dKBPerSec = 0.0; // measured only when reachable
    CString strText;        // the availability text, or the "NOT Available" one
    CString strCaption;     // empty, or "Error" when not reachable
};

// Reads the entry (any form the list parser knows), measures the connect
// time and, when the proxy answered, the speed of the sample through it
// (WinINet for an HTTP proxy, our own client for SOCKS), and fills the
// report. TRUE when the proxy is available; FALSE with the "NOT Available"
// text, or for a proxy that refused the account or wants one (a SOCKS
// refusal, an HTTP 407), with that said; the entry named with its password
// masked.
BOOL TestProxyEntry(LPCTSTR pszEntry, LPCTSTR pszSampleUrl, CProxyTestReport& rReport,
                    const CNetDeadline* pDeadline = nullptr);
