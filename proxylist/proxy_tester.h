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
// A proxy (SOCKS or HTTP) that answers but will not take the account (or
// wants one): the entry, its password masked, and "the proxy refused the
// account" (or "the proxy wants an account").
#define PROXY_ACCOUNT_REFUSED_FORMAT "Proxy Server %s answers, but %s"

// The most of a speed sample that is read: enough to time, never a
// download without end.
constexpr int PROXY_SPEED_SAMPLE_MAX_BYTES = 1024 * 1024;
// The line in place of a figure when the sample was too small to time.
#define PROXY_SPEED_UNMEASURED_LINE "Download Speed: too small a sample to measure\r\n"

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

// Kilobytes per millisecond of the speed sample at pszSampleUrl fetched
// whole (up to PROXY_SPEED_SAMPLE_MAX_BYTES) through the HTTP proxy
// host:port with WinINet, timed on a monotonic clock from the request to
// the last byte. 0 when the proxy or the server fails, or answers anything
// but 200; SPEED_NOT_MEASURED (negative) when the sample came but was
// smaller than SPEED_SAMPLE_MIN_BYTES (upstream_fetch.h). The sample's name
// goes to the proxy, never to a local lookup.
double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort, LPCTSTR pszSampleUrl, const CNetDeadline* pDeadline = nullptr);

// What the tester's own client found fetching the sample along a route.
struct CSpeedSample {
    double dKBPerSec = 0.0; // 0: no sample came; SPEED_NOT_MEASURED: too small to time
    CDialResult dial;       // why nothing came when the dial failed
    CString strRefused;     // an HTTP proxy's 407 in words; empty else
};

// The same measurement along any upstream (an HTTP proxy with its account,
// SOCKS) with our own client over the upstream dialer, the one the local
// proxy forwards through: the whole sample over the time from the request
// to its last byte, in KB/sec.
CSpeedSample MeasureSpeedThroughUpstream(const CUpstreamConfig& upstream, LPCTSTR pszSampleUrl,
                                         const CNetDeadline* pDeadline);

// The speed in kilobytes per millisecond as KB/sec for the user.
inline double SpeedToKBPerSec(double dKBPerMs)
{
    return dKBPerMs * 1000.0;
}

// "Proxy Server %s is Available\r\nResponse Time %d milliseconds \r\n
//  Download Speed %.02f KB/sec \r\n" from the entry (its password masked),
// the response time and the speed in KB/sec; PROXY_SPEED_UNMEASURED_LINE as
// the last line for a speed of SPEED_NOT_MEASURED.
CString FormatProxyAvailableText(LPCTSTR pszEntry, int nResponseMs, double dKBPerSec);

// What testing one entry found and what to tell the user about it. The
// tester's whole work is one call that fills it, so a later line of the
// report is added here and nowhere near the dialog's threads.
struct CProxyTestReport {
    int nConnectMs = 0;     // 0: not reachable
    double dKBPerSec = 0.0; // measured only when reachable; SPEED_NOT_MEASURED: too small a sample
    CString strText;        // the availability text, or the "NOT Available" one
    CString strCaption;     // empty, or "Error" when not reachable
};

// Reads the entry (any form the list parser knows), measures the connect
// time and, when the proxy answered, the speed of the sample through it
// with its account (our own client, whatever the kind), and fills the
// report; its text gives the connect time, until the caller has the
// response time of a judge's answer. TRUE when the proxy is available;
// FALSE with the "NOT Available" text, or for a proxy that refused the
// account, with that said (the password masked).
BOOL TestProxyEntry(LPCTSTR pszEntry, LPCTSTR pszSampleUrl, CProxyTestReport& rReport,
                    const CNetDeadline* pDeadline = nullptr);
