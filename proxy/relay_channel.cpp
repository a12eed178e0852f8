// Relay threads and the close-once rule for the two sockets of a connection.
#include "proxy/internal/relay_channel.h"

#include "proxy/content_filter.h"
#include "framework/core/thread_api.h"

CConnectionSockets::CConnectionSockets(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget)
    : m_sockBrowser(sockBrowser), m_sockTarget(sockTarget), m_nShutDown(0)
{
}

CConnectionSockets::~CConnectionSockets()
{
    SockClose(m_sockBrowser);
    SockClose(m_sockTarget);
}

void CConnectionSockets::ShutdownOnce()
{
    if (m_nShutDown.exchange(1) != 0) return;
    SockShutdownBoth(m_sockBrowser);
    SockShutdownBoth(m_sockTarget);
}

unsigned int RelayThreadProc(void* pParam)
{
    CRelayChannel* pChannel = static_cast<CRelayChannel*>(pParam);
    std::unique_ptr<CRelayChannel> pOwned(pChannel);
    CRelayChannel& ch = *pChannel;

    ch.m_nLastLength = SockRecv(ch.m_sockFrom, ch.m_buffer, RELAY_BUFFER_SIZE);
    while (ch.m_nLastLength >= 1) {
        ch.m_buffer[ch.m_nLastLength] = '\0';
        BOOL bSent;
        if (ch.m_nDirection == 1) {
            CContentFilter filter(ch.m_buffer, ch.m_nLastLength);
            filter.FilterBody();
            const CString& strOut = filter.GetFiltered();
            bSent = SockSendAll(ch.m_sockTo, strOut.str().data(), strOut.GetLength());
        } else {
            bSent = SockSendAll(ch.m_sockTo, ch.m_buffer, ch.m_nLastLength);
        }
        // The other side is gone: nothing more can be delivered.
        if (!bSent) break;
        ch.m_nLastLength = SockRecv(ch.m_sockFrom, ch.m_buffer, RELAY_BUFFER_SIZE);
    }

    ch.m_pConnection->ShutdownOnce();
    // Dropping the last reference closes both sockets.
    ch.m_pConnection.reset();
    return 0;
}

namespace {

CRelayChannel* NewChannel(SOCKET_HANDLE sockFrom, SOCKET_HANDLE sockTo, int nDirection,
                          const std::shared_ptr<CConnectionSockets>& pConnection)
{
    CRelayChannel* pChannel = new CRelayChannel;
    pChannel->m_sockFrom = sockFrom;
    pChannel->m_sockTo = sockTo;
    pChannel->m_nDirection = nDirection;
    pChannel->m_nLastLength = 0;
    pChannel->m_buffer[0] = '\0';
    pChannel->m_pConnection = pConnection;
    return pChannel;
}

BOOL StartRelayThread(CRelayChannel* pChannel)
{
    return StartDetachedThread(RelayThreadProc, pChannel);
}

}  // namespace

BOOL StartRelays(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget)
{
    auto pConnection = std::make_shared<CConnectionSockets>(sockBrowser, sockTarget);
    CRelayChannel* pUp = NewChannel(sockBrowser, sockTarget, 0, pConnection);
    CRelayChannel* pDown = NewChannel(sockTarget, sockBrowser, 1, pConnection);
    if (!StartRelayThread(pUp)) {
        delete pUp;
        delete pDown;   // the last reference: both sockets close
        return FALSE;
    }
    if (!StartRelayThread(pDown)) {
        // The running relay wakes from the shutdown and closes both sockets.
        pConnection->ShutdownOnce();
        delete pDown;
        return FALSE;
    }
    return TRUE;
}
