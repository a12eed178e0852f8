// The tester's own small HTTP client: one HTTP/1.0 request over a
// connection the upstream dialer opens (through an HTTP proxy, SOCKS4a,
// SOCKS5 or direct), the same code the local proxy forwards through, under
// a job's deadline and cancel flag and an entry's own limit. WinINet cannot
// reach a SOCKS5 proxy at all, and would test another route than the one
// the browser is then given.
#pragma once

#include "framework/core/cstring.h"
#include "net_deadline.h"
#include "proxy/upstream_dialer.h"

// Dials within the entry's own limit inside the job's deadline, whichever
// ends first, and looks names up within the job's deadline.
class CJobDialPolicy : public CDialPolicy {
public:
    CJobDialPolicy(const CNetDeadline& job, DWORD dwLimitMs);
    DWORD RemainingMs() const override;
    BOOL Resolve(LPCTSTR pszHost, DWORD* pAddr) const override;
    BOOL JobOver() const { return m_job.IsOver(); }

private:
    const CNetDeadline& m_job;
    double m_dEndMs;
};

// The upstream an entry of the list names ("host:port", "socks5://user:pass@
// host:port", ...), ready to dial. An entry the shared parser cannot read
// is split at its first colon, as lists always were, and taken as an HTTP
// proxy. bUseUpstream is set.
void UpstreamFromEntry(LPCTSTR pszEntry, CUpstreamConfig& rConfig);

// Splits "http://host[:port]/path"; the port is 80 when the URL names none.
// rHostPort is the URL's "host[:port]" as a Host header gives it; rPath
// keeps the query. FALSE for anything but an http:// URL with a host.
BOOL SplitHttpUrl(const CString& strUrl, CString& rHost, WORD& rPort, CString& rHostPort, CString& rPath);

// The request target for strHostPort + strPath on this route: the absolute
// form an HTTP proxy needs, or the path form a server expects (through SOCKS
// and direct, where the connection is to the server itself).
CString RequestTargetFor(const CUpstreamConfig& config, const CString& strHostPort, const CString& strPath);

// The User-Agent of every request the program sends through a proxy (the
// judge's, the speed sample): a common browser's, so that neither the proxy
// nor the site can pick the program's requests out of the browsing.
#define BROWSER_USER_AGENT "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:128.0) Gecko/20100101 Firefox/128.0"

// The head of a GET for strHostPort + strPath along config's route, with
// the browser's User-Agent and, for an HTTP proxy with an account, the
// Proxy-Authorization line the local proxy sends it too.
CString BuildProxiedGet(const CUpstreamConfig& config, const CString& strHostPort, const CString& strPath);

// What an HTTP proxy's 407 says, in words: "the proxy refused the account"
// when one was given, else "the proxy wants an account".
CString AccountRefusalText(const CUpstreamConfig& config);

// A speed from nBytes that took dMs: KB/sec, or SPEED_NOT_MEASURED when
// the sample is smaller than SPEED_SAMPLE_MIN_BYTES. A page of a few hundred
// bytes comes in one packet, and its time is the clock's, not the proxy's.
const int SPEED_SAMPLE_MIN_BYTES = 16 * 1024;
const double SPEED_NOT_MEASURED = -1.0;
double SpeedOfSample(int nBytes, double dMs);

struct CUpstreamFetch {
    CDialResult dial;
    DWORD dwStatus = 0;
    CString strBody;
    int nConnectMs = 0;   // the TCP connect to the first hop, at least 1
    int nFirstByteMs = 0; // from the start of the dial to the answer's first byte, at least 1
    int nTransferMs = 0;  // from sending the request to the end of the answer, at least 1
    int nBytes = 0;       // of the whole answer, head included
};

// Dials strHost:nPort along config's route, sends strRequest (whole, in
// the form RequestTargetFor gives) and reads the answer to the server's
// close or its Content-Length, at most nMaxBytes. FALSE when no whole answer
// came within the policy's bound; rFetch.dial says why when the dial failed.
// With bEnoughAtMax an answer that reaches nMaxBytes ends there and counts
// as whole: a speed sample needs no more, and a larger one is no fault.
BOOL FetchThroughUpstream(const CUpstreamConfig& config, const CString& strHost, WORD nPort, const CString& strRequest,
                          const CJobDialPolicy& policy, CUpstreamFetch& rFetch, int nMaxBytes = 64 * 1024,
                          BOOL bEnoughAtMax = FALSE);
