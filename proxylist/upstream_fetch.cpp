// One bounded HTTP/1.0 request over the upstream dialer.
#include "upstream_fetch.h"

#include "framework/core/socket_api.h"
#include "framework/core/text_number.h"
#include "proxy_address.h"
#include "proxy_entry.h"
#include "tick_clock.h"

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
    rConfig = CUpstreamConfig();
    rConfig.bUseUpstream = TRUE;
    CProxyAddress address;
    if (!ParseProxyAddress(pszEntry, address)) {
        int nPort = 0;
        SplitProxyEntry(pszEntry, rConfig.strUpstreamHost, nPort);
        rConfig.strUpstreamHost.Trim();
        rConfig.nUpstreamPort = CwIsTcpPort(nPort) ? static_cast<WORD>(nPort) : 0;
        return;
    }
    rConfig.strUpstreamHost = address.strHost;
    rConfig.nUpstreamPort = CwIsTcpPort(address.nPort) ? static_cast<WORD>(address.nPort) : 0;
    rConfig.strProxyUser = address.strUser;
    rConfig.strProxyPassword = address.strPassword;
    switch (address.scheme) {
    case PROXY_SCHEME_SOCKS4:
    case PROXY_SCHEME_SOCKS4A: rConfig.eKind = UPSTREAM_SOCKS4A; break;
    case PROXY_SCHEME_SOCKS5:
    case PROXY_SCHEME_SOCKS5H: rConfig.eKind = UPSTREAM_SOCKS5; break;
    default: rConfig.eKind = UPSTREAM_HTTP; break;
    }
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

BOOL FetchThroughUpstream(const CUpstreamConfig& config, const CString& strHost, WORD nPort, const CString& strRequest,
                          const CJobDialPolicy& policy, CUpstreamFetch& rFetch, int nMaxBytes)
{
    rFetch = CUpstreamFetch();
    SOCKET_HANDLE s = DialUpstream(config, strHost, nPort, policy, rFetch.dial);
    rFetch.nConnectMs = rFetch.dial.nConnectMs;
    if (s == NO_SOCKET) return FALSE;
    const double dSent = CwMonotonicMs();
    BOOL bDone = FALSE;
    CString strAnswer;
    int nHeadEnd = -1;
    if (SockSendAll(s, strRequest, strRequest.GetLength())) {
        char buf[4096];
        long nWant = -1;
        for (;;) {
            DWORD dwLeft = policy.RemainingMs();
            if (dwLeft == 0) break;
            int nReady = SockWaitReadable(s, NO_SOCKET, static_cast<int>(dwLeft < kPollMs ? dwLeft : kPollMs));
            if (nReady < 0) break;
            if (nReady == 0) continue;
            int n = SockRecv(s, buf, sizeof buf);
            if (n < 0) break;
            if (n == 0) {
                bDone = nHeadEnd >= 0;
                break;
            }
            strAnswer.Append(buf, n);
            if (strAnswer.GetLength() > nMaxBytes) break;
            if (nHeadEnd < 0 && (nHeadEnd = strAnswer.Find("\r\n\r\n")) >= 0) {
                CString strHead = strAnswer.Left(nHeadEnd);
                strHead.MakeLower();
                int nLen = strHead.Find("\r\ncontent-length:");
                if (nLen >= 0) nWant = std::atol(strHead.Mid(nLen + 17));
            }
            if (nHeadEnd >= 0 && nWant >= 0 && strAnswer.GetLength() - (nHeadEnd + 4) >= nWant) {
                bDone = TRUE;
                break;
            }
        }
        if (bDone) {
            rFetch.nResponseMs = static_cast<int>(CwMonotonicMs() - dSent) + 1;
            rFetch.nBytes = strAnswer.GetLength();
            // "HTTP/1.x 200 ..."
            int nSpace = strAnswer.Find(' ');
            rFetch.dwStatus = nSpace > 0 ? static_cast<DWORD>(std::atoi(strAnswer.Mid(nSpace + 1))) : 0;
            rFetch.strBody = strAnswer.Mid(nHeadEnd + 4);
            if (nWant >= 0 && rFetch.strBody.GetLength() > nWant) rFetch.strBody = rFetch.strBody.Left(nWant);
        }
    }
    SockClose(s);
    return bDone;
}
