// The relay loop of one connection, both directions on one thread.
#include "proxy/internal/relay_channel.h"

#include <memory>

CRelayConnection::CRelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget)
{
    m_toTarget.m_sockFrom = sockBrowser;
    m_toTarget.m_sockTo = sockTarget;
    m_toTarget.m_direction = RELAY_TO_TARGET;
    m_toTarget.m_buffer[0] = '\0';
    m_toBrowser.m_sockFrom = sockTarget;
    m_toBrowser.m_sockTo = sockBrowser;
    m_toBrowser.m_direction = RELAY_TO_BROWSER;
    m_toBrowser.m_buffer[0] = '\0';
}

CRelayConnection::~CRelayConnection()
{
    // Closed without a shutdown first: this thread is the only one that
    // uses them, so no receive elsewhere has to be woken, and the close ends
    // both directions alike. Under Wine each shutdown is two more round
    // trips to the wineserver per socket.
    SockClose(m_toTarget.m_sockFrom);
    SockClose(m_toTarget.m_sockTo);
}

namespace {

// One receive on a channel that the wait found ready, and what follows from
// it. false when the connection is over.
bool StepChannel(CRelayConnection& conn, CRelayChannel& ch)
{
    ch.m_nLastLength = SockRecv(ch.m_sockFrom, ch.m_buffer, RELAY_BUFFER_SIZE);
    ch.m_bTryFirst = false;
    if (ch.m_nLastLength == SOCK_NOTHING_YET) return true; // nothing there yet: wait for it
    if (ch.m_nLastLength >= RELAY_BULK_RECEIVE) {
        if (!ch.m_bNonBlocking) ch.m_bNonBlocking = SockSetNonBlocking(ch.m_sockFrom) != FALSE;
        ch.m_bTryFirst = ch.m_bNonBlocking;
    }
    conn.m_strOut.clear();
    if (ch.m_nLastLength == 0 && ch.m_direction == RELAY_TO_TARGET) {
        // The browser shut down its sending side after its request (as some
        // clients do to mark its end): the server gets the same end, and
        // its answer still comes back.
        if (!conn.m_requests.IsStopped()) SockShutdownSend(ch.m_sockTo);
        ch.m_bFromEnded = true;
        return true;
    }
    if (ch.m_nLastLength <= 0) {
        // The server's close may complete what it sent (a page that ends
        // with the connection, a split tag held back).
        if (ch.m_direction == RELAY_TO_BROWSER) {
            conn.m_responses.Finish(conn.m_strOut);
            SockSendAll(ch.m_sockTo, conn.m_strOut.data(), static_cast<int>(conn.m_strOut.size()));
        }
        return false;
    }
    ch.m_buffer[ch.m_nLastLength] = '\0';
    const char* pSend = nullptr;
    int nSend = 0;
    if (ch.m_direction == RELAY_TO_TARGET) {
        // Once the answers are a tunnel or something unparsed, what the
        // browser sends is no longer requests to follow either.
        if (conn.m_responses.IsPassingThrough() && !conn.m_requests.IsPassingThrough())
            conn.m_requests.StartPassing(conn.m_strOut);
        conn.m_requests.Feed(ch.m_buffer, ch.m_nLastLength, conn.m_strOut, conn.m_responses);
    } else if (conn.m_responses.PassesUnchanged(ch.m_nLastLength)) {
        conn.m_responses.Skip(ch.m_nLastLength);
        pSend = ch.m_buffer;
        nSend = ch.m_nLastLength;
    } else {
        conn.m_responses.Feed(ch.m_buffer, ch.m_nLastLength, conn.m_strOut);
    }
    if (!pSend) {
        pSend = conn.m_strOut.data();
        nSend = static_cast<int>(conn.m_strOut.size());
    }
    if (nSend > 0 && !SockSendAll(ch.m_sockTo, pSend, nSend))
        return false; // the other side is gone: nothing more can be delivered
    // An HTTP/1.0 browser knows the end of a filtered page by the close.
    return !(ch.m_direction == RELAY_TO_BROWSER && conn.m_responses.MustClose());
}

} // namespace

unsigned int RelayThreadProc(void* pParam)
{
    std::unique_ptr<CRelayConnection> pConn(static_cast<CRelayConnection*>(pParam));
    CRelayConnection& conn = *pConn;
    int nUnwaited = 0;
    for (;;) {
        int nReady = 0;
        if (nUnwaited < RELAY_MAX_UNWAITED)
            nReady = (conn.m_toTarget.m_bTryFirst ? 1 : 0) | (conn.m_toBrowser.m_bTryFirst ? 2 : 0);
        if (nReady != 0) {
            ++nUnwaited;
        } else {
            nUnwaited = 0;
            SOCKET_HANDLE sockBrowser = conn.m_toTarget.m_bFromEnded ? NO_SOCKET : conn.m_toTarget.m_sockFrom;
            nReady = SockWaitReadable(sockBrowser, conn.m_toBrowser.m_sockFrom, -1);
            if (nReady < 0) break;
        }
        if ((nReady & 1) && !StepChannel(conn, conn.m_toTarget)) break;
        if ((nReady & 2) && !StepChannel(conn, conn.m_toBrowser)) break;
        // A request this connection must not carry, or the browser's last
        // one, ends it once the answers asked for are through.
        if (conn.m_requests.IsFinished() && conn.m_responses.IsBetweenAnswers()) break;
    }
    return 0; // the record's end closes both sockets once
}

void RelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget, const CRequestHead& firstHead,
                     const CString& strFirstHead, const CString& strRest, BOOL bToOrigin)
{
    CRelayConnection* pConn = new CRelayConnection(sockBrowser, sockTarget);
    if (bToOrigin) pConn->m_requests.SendToOrigin(firstHead.m_strHost, firstHead.m_nPort);
    pConn->m_requests.AfterFirstHead(firstHead, pConn->m_responses);
    std::string strOut = strFirstHead.str();
    pConn->m_requests.Feed(strRest.str().data(), strRest.GetLength(), strOut, pConn->m_responses);
    if (!SockSendAll(sockTarget, strOut.data(), static_cast<int>(strOut.size()))) {
        delete pConn;
        return;
    }
    RelayThreadProc(pConn);
}
