// One straight path through a browser connection's first request, with one
// exit on failure: the browser's socket (and the target's, once open) closed.
#include "proxy/internal/connection_handler.h"

#include "proxy/content_filter.h"
#include "proxy/internal/relay_channel.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/upstream_config.h"

#include <vector>

BOOL ReadRequestHead(SOCKET_HANDLE sockBrowser, CString& strHead, CString& strRest)
{
    std::vector<char> received;
    char chunk[4096];
    for (;;) {
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

namespace {

SOCKET_HANDLE ConnectToTarget(const CUpstreamConfig& config, const CRequestHead& head)
{
    CString strHost;
    int nPort = 0;
    ChooseTarget(config, head, strHost, nPort);
    if (nPort <= 0 || nPort > 0xFFFF) return NO_SOCKET;
    DWORD dwAddr = 0;
    if (!SockResolveIPv4(strHost, &dwAddr)) return NO_SOCKET;
    return SockConnectIPv4(dwAddr, static_cast<WORD>(nPort));
}

}  // namespace

unsigned int ConnectionThreadProc(void* pParam)
{
    SOCKET_HANDLE sockBrowser = reinterpret_cast<SOCKET_HANDLE>(pParam);
    CString strHead, strRest;
    if (!ReadRequestHead(sockBrowser, strHead, strRest)) {
        SockClose(sockBrowser);
        return 0;
    }

    CRequestHead head;
    ParseRequestHead(strHead, head);
    CContentFilter filter;
    filter.FilterHeaders(head.m_headers);

    // One copy of the configuration for the whole request, whatever a
    // restart publishes meanwhile.
    CUpstreamConfigPtr pConfig = GetUpstreamConfig();
    CString strOut = RebuildRequestHead(head, pConfig->bProxyAuthHeader ? pConfig->strProxyAuthHeader.GetString() : nullptr);
    // Bytes that came after the head (the start of a body, a next request)
    // follow it unchanged.
    strOut += strRest;

    SOCKET_HANDLE sockTarget = ConnectToTarget(*pConfig, head);
    if (sockTarget == NO_SOCKET) {
        SockClose(sockBrowser);
        return 0;
    }
    if (!SockSendAll(sockTarget, strOut.str().data(), strOut.GetLength())) {
        SockClose(sockTarget);
        SockClose(sockBrowser);
        return 0;
    }
    StartRelays(sockBrowser, sockTarget);
    return 0;
}
