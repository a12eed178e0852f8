// One straight path through a browser connection's first request, with one
// exit on failure: the browser's socket (and the target's, once open) closed.
#include "proxy/internal/connection_handler.h"

#include "proxy/content_filter.h"
#include "proxy/internal/relay_channel.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/self_target.h"
#include "proxy/internal/upstream_config.h"

#include <atomic>
#include <chrono>
#include <memory>
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

SOCKET_HANDLE ConnectToTarget(const CAcceptedConnection& accepted, const CUpstreamConfig& config,
                              const CRequestHead& head, CRelayTarget& target)
{
    // A request naming this proxy (or an upstream entry naming it) would
    // make it connect to itself, directly or through the upstream, and
    // every such connection brings the same request back: thousands of
    // threads in seconds, and every other browser starved.
    if (RequestNamesProxy(head, accepted.nListenPort)) return NO_SOCKET;
    CString strHost;
    int nPort = 0;
    ChooseTarget(config, head, strHost, nPort);
    if (nPort <= 0 || nPort > 0xFFFF) return NO_SOCKET;
    DWORD dwAddr = 0;
    SOCKET_HANDLE sock = NO_SOCKET;
    // A name lookup may take seconds, in which the user may leave these
    // settings; what they named is not reached after that.
    if (SockResolveIPv4(strHost, &dwAddr) && !IsOwnEndpoint(accepted, dwAddr, static_cast<WORD>(nPort)) &&
        AreRelaySettingsCurrent(target.settings)) {
        target.dwAddr = dwAddr;
        target.nPort = static_cast<WORD>(nPort);
        sock = SockConnectIPv4(dwAddr, static_cast<WORD>(nPort));
        // A success is told by the relay when the upstream first answers:
        // one that accepts and never says a word works no better than one
        // that refuses.
        if (sock == NO_SOCKET && config.bUseUpstream && config.pHealth) config.pHealth->NoteConnect(FALSE);
    }
    return sock;
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

    // Without an upstream proxy the server itself gets the request, in the
    // form a server expects; an upstream proxy needs the absolute form.
    if (!pConfig->bUseUpstream) head.m_strRequestLine = OriginFormRequestLine(head.m_strRequestLine);
    if (pConfig->bUseUpstream && pConfig->bProxyAuthHeader) target.strAuthLine = pConfig->strProxyAuthHeader;
    target.bToOrigin = !pConfig->bUseUpstream;
    target.nOwnPort = pAccepted->nListenPort;
    CString strOut = RebuildRequestHead(head, target.strAuthLine.IsEmpty() ? nullptr : target.strAuthLine.GetString());

    SOCKET_HANDLE sockTarget = ConnectToTarget(*pAccepted, *pConfig, head, target);
    if (sockTarget == NO_SOCKET) {
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
