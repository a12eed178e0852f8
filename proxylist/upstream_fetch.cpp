// One bounded HTTP/1.0 request over the upstream dialer.
#include "upstream_fetch.h"

#include "framework/core/socket_api.h"
#include "framework/core/text_number.h"
#include "http_answer_reader.h"
#include "proxy/local_proxy_server.h"
#include "proxy/socks_handshake.h"
#include "proxy_entry.h"
#include "tick_clock.h"
#include "upstream_address.h"

#include <cstdlib>

namespace {

// How often a wait for the answer looks at the cancel flag.
const DWORD kPollMs = 100;

} // namespace

CJobDialPolicy::CJobDialPolicy(const CNetDeadline& job, DWORD dwLimitMs)
    : m_job(job), m_dEndMs(CwMonotonicMs() + dwLimitMs)
{
}

DWORD CJobDialPolicy::RemainingMs() const
{
    DWORD dwJob = m_job.RemainingMs();
    double dLeft = m_dEndMs - CwMonotonicMs();
    if (dLeft <= 0) return 0;
    DWORD dwOwn = dLeft < 1.0 ? 1 : dLeft >= 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(dLeft);
    return dwOwn < dwJob ? dwOwn : dwJob;
}

BOOL CJobDialPolicy::Resolve(LPCTSTR pszHost, DWORD* pAddr) const
{
    return ResolveIPv4Within(pszHost, pAddr, m_job);
}

void UpstreamFromEntry(LPCTSTR pszEntry, CUpstreamConfig& rConfig)
{
    if (UpstreamFromAddress(pszEntry, rConfig)) return;
    rConfig.bUseUpstream = TRUE;
    int nPort = 0;
    SplitProxyEntry(pszEntry, rConfig.strUpstreamHost, nPort);
    rConfig.strUpstreamHost.Trim();
    rConfig.nUpstreamPort = CwIsTcpPort(nPort) ? static_cast<WORD>(nPort) : 0;
}

BOOL SplitHttpUrl(const CString& strUrl, CString& rHost, WORD& rPort, CString& rHostPort, CString& rPath)
{
    if (strUrl.Left(7).CompareNoCase("http://") != 0) return FALSE;
    CString strRest = strUrl.Mid(7);
    int nSlash = strRest.Find('/');
    rHostPort = nSlash < 0 ? strRest : strRest.Left(nSlash);
    rPath = nSlash < 0 ? CString("/") : strRest.Mid(nSlash);
    int nColon = rHostPort.Find(':');
    rHost = nColon < 0 ? rHostPort : rHostPort.Left(nColon);
    int nPort = nColon < 0 ? 80 : std::atoi(rHostPort.Mid(nColon + 1));
    if (rHost.IsEmpty() || nPort < 1 || nPort > 65535) return FALSE;
    rPort = static_cast<WORD>(nPort);
    return TRUE;
}

CString RequestTargetFor(const CUpstreamConfig& config, const CString& strHostPort, const CString& strPath)
{
    if (config.bUseUpstream && config.eKind == UPSTREAM_HTTP) return "http://" + strHostPort + strPath;
    return strPath;
}

CString BuildProxiedGet(const CUpstreamConfig& config, const CString& strHostPort, const CString& strPath)
{
    CString strHead = "GET " + RequestTargetFor(config, strHostPort, strPath) + " HTTP/1.0\r\nHost: " + strHostPort +
                      "\r\nUser-Agent: " BROWSER_USER_AGENT "\r\nAccept: */*\r\nConnection: close\r\n";
    // Only the proxy may see the account: through SOCKS the server gets the
    // request, and the account went into the handshake.
    if (config.bUseUpstream && config.eKind == UPSTREAM_HTTP && !config.strProxyUser.IsEmpty())
        strHead += BuildProxyAuthHeader(config.strProxyUser, config.strProxyPassword);
    return strHead + "\r\n";
}

CString AccountRefusalText(const CUpstreamConfig& config)
{
    return SocksErrorText(config.strProxyUser.IsEmpty() ? SOCKS_ERROR_ACCOUNT_WANTED : SOCKS_ERROR_ACCOUNT_REFUSED);
}

double SpeedOfSample(int nBytes, double dMs)
{
    if (nBytes < SPEED_SAMPLE_MIN_BYTES) return SPEED_NOT_MEASURED;
    return nBytes / 1024.0 / ((dMs < 1.0 ? 1.0 : dMs) / 1000.0);
}

BOOL FetchThroughUpstream(const CUpstreamConfig& config, const CString& strHost, WORD nPort, const CString& strRequest,
                          const CJobDialPolicy& policy, CUpstreamFetch& rFetch, int nMaxBytes, BOOL bEnoughAtMax)
{
    rFetch = CUpstreamFetch();
    const double dDial = CwMonotonicMs();
    SOCKET_HANDLE s = DialUpstream(config, strHost, nPort, policy, rFetch.dial);
    rFetch.nConnectMs = rFetch.dial.nConnectMs;
    if (s == NO_SOCKET) return FALSE;
    const double dSent = CwMonotonicMs();
    BOOL bDone = FALSE;
    CHttpAnswerReader answer(nMaxBytes);
    if (SockSendAll(s, strRequest, strRequest.GetLength())) {
        char buf[4096];
        for (;;) {
            DWORD dwLeft = policy.RemainingMs();
            if (dwLeft == 0) break;
            int nReady = SockWaitReadable(s, NO_SOCKET, static_cast<int>(dwLeft < kPollMs ? dwLeft : kPollMs));
            if (nReady < 0) break;
            if (nReady == 0) continue;
            int n = SockRecv(s, buf, sizeof buf);
            if (n < 0) break;
            if (n == 0) {
                bDone = answer.IsCompleteAtClose();
                break;
            }
            if (rFetch.nFirstByteMs == 0) rFetch.nFirstByteMs = static_cast<int>(CwMonotonicMs() - dDial) + 1;
            if (!answer.Add(buf, n)) {
                bDone = bEnoughAtMax && answer.IsCompleteAtClose();
                break;
            }
            if (answer.IsComplete()) {
                bDone = TRUE;
                break;
            }
        }
        if (bDone) {
            rFetch.nTransferMs = static_cast<int>(CwMonotonicMs() - dSent) + 1;
            rFetch.nBytes = answer.Bytes();
            rFetch.dwStatus = answer.Status();
            rFetch.strBody = answer.Body();
        }
    }
    SockClose(s);
    return bDone;
}
