// One straight path through a browser connection's first request, with one
// exit on failure: the browser's socket (and the target's, once open) closed.
#include "proxy/internal/connection_handler.h"

#include "framework/core/text_number.h"
#include "proxy/content_filter.h"
#include "proxy/internal/private_target.h"
#include "proxy/internal/relay_channel.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/self_target.h"
#include "proxy/internal/upstream_config.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

std::atomic<int> g_nRequestHeadWaitMs{DEFAULT_REQUEST_HEAD_WAIT_MS};

} // namespace

void SetRequestHeadWaitMs(int nMs)
{
    g_nRequestHeadWaitMs.store(nMs > 0 ? nMs : DEFAULT_REQUEST_HEAD_WAIT_MS);
}

int GetRequestHeadWaitMs()
{
    return g_nRequestHeadWaitMs.load();
}

BOOL ReadRequestHead(SOCKET_HANDLE sockBrowser, int nWaitMs, CString& strHead, CString& strRest)
{
    typedef std::chrono::steady_clock Clock;
    // One bound for the whole head: a client trickling a byte at a time
    // must not extend it with every byte.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(nWaitMs);
    std::vector<char> received;
    char chunk[4096];
    for (;;) {
        long long nLeftMs = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeftMs <= 0) return FALSE;
        if (SockWaitReadable(sockBrowser, NO_SOCKET, static_cast<int>(nLeftMs)) != 1) return FALSE;
        int n = SockRecv(sockBrowser, chunk, static_cast<int>(sizeof chunk));
        if (n <= 0) return FALSE;
        int nSearched = static_cast<int>(received.size());
        received.insert(received.end(), chunk, chunk + n);
        int nTotal = static_cast<int>(received.size());
        int nHead = FindRequestHeadEnd(received.data(), nTotal, nSearched);
        if (nHead > MAX_REQUEST_HEAD || (nHead == 0 && nTotal >= MAX_REQUEST_HEAD)) return FALSE;
        if (nHead > 0) {
            strHead = CString(received.data(), nHead);
            strRest = CString(received.data() + nHead, nTotal - nHead);
            return TRUE;
        }
    }
}

void ChooseTarget(const CUpstreamConfig& config, const CRequestHead& head, CString& strHost, int& nPort)
{
    strHost = config.bUseUpstream ? config.strUpstreamHost : head.m_strHost;
    nPort = config.bUseUpstream ? config.nUpstreamPort : head.m_nPort;
}

BOOL IsOwnEndpoint(const CAcceptedConnection& accepted, DWORD dwAddr, WORD nPort)
{
    return nPort == accepted.nListenPort && (dwAddr == accepted.dwListenAddr || dwAddr == 0);
}

namespace {

// What the browser sees when the SOCKS proxy would not connect: its answer
// in words, on a 502 page (or on the CONNECT answer of a tunnel).
std::string SocksRefusalAnswer(const CDialResult& result)
{
    const std::string strReason = result.Reason().str();
    const std::string strBody = "<html><head><title>502 Bad Gateway</title></head><body><h1>Bad Gateway</h1>"
                                "<p>The SOCKS proxy answered: " +
                                strReason + "</p></body></html>\r\n";
    return "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(strBody.size()) +
           "\r\nConnection: close\r\n\r\n" + strBody;
}

SOCKET_HANDLE ConnectToTarget(const CAcceptedConnection& accepted, const CRequestHead& head, CRelayTarget& target,
                              CDialResult& rResult)
{
    // A request naming this proxy (or an upstream entry naming it) would
    // make it connect to itself, directly or through the upstream, and
    // every such connection brings the same request back: thousands of
    // threads in seconds, and every other browser starved.
    if (RequestNamesProxy(head, accepted.nListenPort)) return NO_SOCKET;
    const CUpstreamConfig& config = *target.settings.pConfig;
    // The request's own server: the one connected to without an upstream
    // or when it is in the user's own network, the one a SOCKS proxy is
    // asked for (a CONNECT names it in its request line). An HTTP proxy is
    // told by the request itself.
    CString strHost = head.m_strHost;
    int nPort = head.m_nPort;
    if ((config.IsSocks() || target.bPrivateDirect) && head.m_strRequestLine.str().compare(0, 8, "CONNECT ") == 0) {
        // A tunnel to nowhere in particular is refused, not sent on as a
        // request to whatever the Host header names.
        if (!RequestServer(head, strHost, nPort)) return NO_SOCKET;
        target.bTunnelOpen = TRUE;
    }
    const bool bToServer = !config.bUseUpstream || config.IsSocks() || target.bPrivateDirect;
    if (bToServer && !CwIsTcpPort(nPort)) return NO_SOCKET;
    target.strHost = strHost;
    target.nPort = CwIsTcpPort(nPort) ? static_cast<WORD>(nPort) : 0;
    target.dwOwnAddr = accepted.dwListenAddr;
    return DialTarget(target, rResult);
}

} // namespace

unsigned int ConnectionThreadProc(void* pParam)
{
    const std::unique_ptr<CAcceptedConnection> pAccepted(static_cast<CAcceptedConnection*>(pParam));
    const SOCKET_HANDLE sockBrowser = pAccepted->sockBrowser;
    CHeldConnection* pHeld = pAccepted->pHeld.get();
    CString strHead, strRest;
    CRequestHead head;
    if (!ReadRequestHead(sockBrowser, GetRequestHeadWaitMs(), strHead, strRest) || !ParseRequestHead(strHead, head)) {
        pHeld->Release();
        SockClose(sockBrowser);
        return 0;
    }
    pHeld->SetIdle(false);
    // One copy of the settings for the whole connection, whatever a restart
    // publishes meanwhile; the relay checks it before every request after
    // this one.
    CRelayTarget target;
    target.settings = TakeRelaySettings();
    const CUpstreamConfigPtr pConfig = target.settings.pConfig;
    CContentFilter filter;
    filter.FilterHeaders(head.m_headers);

    // A server in the user's own network is reached from here, whatever the
    // upstream (see private_target.h).
    target.bPrivateDirect = pConfig->bUseUpstream && RequestNamesPrivateAddress(head);
    const bool bUpstream = pConfig->bUseUpstream && !target.bPrivateDirect;
    // Without an upstream proxy, through a SOCKS one and in the own network,
    // the server itself gets the request, in the form a server expects; an
    // HTTP proxy needs the absolute form.
    const bool bToServer = !bUpstream || pConfig->IsSocks();
    if (bToServer) head.m_strRequestLine = OriginFormRequestLine(head.m_strRequestLine);
    if (bUpstream && pConfig->bProxyAuthHeader) target.strAuthLine = pConfig->strProxyAuthHeader;
    target.bToOrigin = bToServer;
    target.bFollowServers = bUpstream && pConfig->IsSocks();
    target.nOwnPort = pAccepted->nListenPort;
    CString strOut = RebuildRequestHead(head, target.strAuthLine.IsEmpty() ? nullptr : target.strAuthLine.GetString());

    CDialResult dial;
    SOCKET_HANDLE sockTarget = ConnectToTarget(*pAccepted, head, target, dial);
    if (sockTarget == NO_SOCKET) {
        // A SOCKS proxy's refusal is worth telling; any other failure ends
        // the connection as it always did.
        if (dial.eFailure == DIAL_SOCKS_FAILED ||
            (bUpstream && pConfig->IsSocks() && dial.eFailure == DIAL_TIMED_OUT)) {
            const std::string strAnswer = SocksRefusalAnswer(dial);
            SockSendAll(sockBrowser, strAnswer.data(), static_cast<int>(strAnswer.size()), GetRequestHeadWaitMs());
        }
        pHeld->Release();
        SockClose(sockBrowser);
        return 0;
    }
    target.pHeld = pHeld;
    // This thread carries the connection from here: a thread of its own for
    // the relay would only cost another start (about a millisecond under
    // Wine) and another stack. Bytes that came after the head (the start of
    // a body, a next request) follow it through the request tracker.
    RelayConnection(sockBrowser, sockTarget, head, strOut, strRest, target);
    return 0;
}
