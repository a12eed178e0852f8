// The relay loop of one connection, both directions on one thread.
#include "proxy/internal/relay_channel.h"

#include "framework/core/text_number.h"
#include "proxy/internal/connection_handler.h"
#include "proxy/internal/private_target.h"

#include <memory>
#include <new>

CRelayConnection::CRelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget)
{
    m_toTarget.m_sockFrom = sockBrowser;
    m_toTarget.m_sockTo = sockTarget;
    m_toTarget.m_direction = RELAY_TO_TARGET;
    m_toBrowser.m_sockFrom = sockTarget;
    m_toBrowser.m_sockTo = sockBrowser;
    m_toBrowser.m_direction = RELAY_TO_BROWSER;
}

CRelayConnection::~CRelayConnection()
{
    // Unlisted first: the listener may end a listed socket.
    if (m_target.pHeld) m_target.pHeld->Release();
    // Closed without a shutdown first: this thread is the only one that
    // uses them, so no receive elsewhere has to be woken, and the close ends
    // both directions alike. Under Wine each shutdown is two more round
    // trips to the wineserver per socket.
    SockClose(m_toTarget.m_sockFrom);
    SockClose(m_toTarget.m_sockTo);
}

namespace {

// The relay's dials: no bound beyond the dialer's own, the proxy's own
// endpoint refused, and nothing reached once the settings are out of force
// (a lookup may take seconds, in which the user may leave them).
class CRelayDialPolicy : public CDialPolicy {
public:
    explicit CRelayDialPolicy(CRelayTarget& target) : m_target(target) {}
    // A connection's later dials to the same first hop (the upstream proxy
    // above all, which may end its connection after every answer) reuse the
    // address its first dial found instead of asking the resolver again.
    BOOL Resolve(LPCTSTR pszHost, DWORD* pAddr) const override
    {
        if (m_target.bPrivateDirect) return SockParseIPv4(pszHost, pAddr);
        if (m_target.dwHopAddr != 0 && m_target.strHopName == pszHost) {
            *pAddr = m_target.dwHopAddr;
            return TRUE;
        }
        if (!SockResolveIPv4(pszHost, pAddr)) return FALSE;
        m_target.strHopName = pszHost;
        m_target.dwHopAddr = *pAddr;
        return TRUE;
    }
    BOOL MayConnect(DWORD dwAddr, WORD nPort) const override
    {
        const bool bOwn = nPort == m_target.nOwnPort && (dwAddr == m_target.dwOwnAddr || dwAddr == 0);
        return !bOwn && AreRelaySettingsCurrent(m_target.settings);
    }

private:
    CRelayTarget& m_target;
};

// How the target's connections go: as the settings say, or straight to a
// server in the user's own network.
const CUpstreamConfig& Route(const CRelayTarget& target)
{
    static const CUpstreamConfig s_direct;
    return target.bPrivateDirect ? s_direct : *target.settings.pConfig;
}

} // namespace

SOCKET_HANDLE DialTarget(CRelayTarget& target, CDialResult& rResult)
{
    if (!AreRelaySettingsCurrent(target.settings)) {
        rResult = CDialResult();
        rResult.eFailure = DIAL_REFUSED_HOP;
        return NO_SOCKET;
    }
    // An IPv6 address in the user's own network: the dialer speaks IPv4
    // (names above all), so it is connected to here, as written.
    unsigned char v6[16];
    if (target.bPrivateDirect && IPv6LiteralBytes(target.strHost.str(), v6)) {
        rResult = CDialResult();
        SOCKET_HANDLE sock = SockConnectIPv6(v6, target.nPort);
        if (sock == NO_SOCKET) rResult.eFailure = DIAL_CONNECT_FAILED;
        return sock;
    }
    // Held for the dial: the settings may move on meanwhile.
    const CUpstreamConfigPtr pConfig = target.settings.pConfig;
    const CUpstreamConfig& route = Route(target);
    SOCKET_HANDLE sock = DialUpstream(route, target.strHost, target.nPort, CRelayDialPolicy(target), rResult);
    CUpstreamHealth* pHealth = route.bUseUpstream ? route.pHealth.get() : nullptr;
    if (sock == NO_SOCKET && pHealth && rResult.eFailure != DIAL_REFUSED_HOP && rResult.eFailure != DIAL_BAD_ADDRESS)
        // A SOCKS proxy that says the server is unreachable works; one that
        // cannot be reached, or refuses the account, does not.
        pHealth->NoteConnect(rResult.UpstreamWorks());
    // A SOCKS proxy has shown it works by its handshake's answer; an HTTP
    // proxy shows it only by answering a request (see SilenceCounts).
    if (sock != NO_SOCKET && pHealth && route.IsSocks()) pHealth->NoteConnect(TRUE);
    return sock;
}

namespace {

// Every send of the relay, toward the browser and toward the target, is
// bound by progress: a peer that takes no byte for the head-wait ends the
// connection. Unbound, a peer that never reads (an upstream that stalls
// mid-upload, a browser that stopped reading a download) held the thread
// and both sockets until it closed, and enough of them filled the held
// connections' room, so the proxy refused every new browser.
bool SendBounded(SOCKET_HANDLE s, const char* pData, int nLen)
{
    return SockSendAll(s, pData, nLen, GetRequestHeadWaitMs()) != FALSE;
}

bool SendBounded(SOCKET_HANDLE s, const std::string& str)
{
    return SendBounded(s, str.data(), static_cast<int>(str.size()));
}

// A new target connection goes non-blocking at once, as the browser's came
// from the listener: only a non-blocking send can be bound (see
// SendBounded), and a bulk receive can then be tried before the wait.
void UseTarget(CRelayConnection& conn, SOCKET_HANDLE sock)
{
    conn.m_toBrowser.m_sockFrom = conn.m_toTarget.m_sockTo = sock;
    conn.m_toBrowser.m_bNonBlocking = SockSetNonBlocking(sock) != FALSE;
}

void DropTarget(CRelayConnection& conn)
{
    SockClose(conn.m_toBrowser.m_sockFrom);
    conn.m_toBrowser.m_sockFrom = conn.m_toTarget.m_sockTo = NO_SOCKET;
    conn.m_toBrowser.m_bNonBlocking = conn.m_toBrowser.m_bTryFirst = false;
    conn.m_bTargetAnswered = conn.m_bTargetSpoke = false;
}

// The health counter of the upstream proxy the relay goes through; null
// when it goes to the server itself or nobody listens.
CUpstreamHealth* UpstreamHealth(const CRelayConnection& conn)
{
    const CUpstreamConfig& config = Route(conn.m_target);
    return config.bUseUpstream ? config.pHealth.get() : nullptr;
}

// The target connection leads to an HTTP proxy, which has accepted it but
// shows that it works only by answering: its silence (or its first byte)
// tells of the proxy. Through SOCKS the silence would be the server's.
bool SilenceCounts(const CRelayConnection& conn)
{
    const CUpstreamConfig& config = Route(conn.m_target);
    return config.bUseUpstream && !config.IsSocks();
}

// A new connection to the target, for requests that the last one will not
// carry. false when it cannot be had, or not with the settings in force.
bool OpenTarget(CRelayConnection& conn)
{
    if (conn.m_bSettingsLeft) return false;
    CDialResult result;
    SOCKET_HANDLE sock = DialTarget(conn.m_target, result);
    if (sock == NO_SOCKET) return false;
    UseTarget(conn, sock);
    conn.m_sentAt = std::chrono::steady_clock::now();
    return true;
}

// Checked before every step. Once the settings the connection began with are
// out of force, no request goes out any more (one being sent goes on to its
// end) and the browser is told in every answer head still to come that its
// connection ends; the relay loop ends it once the answers asked for are
// through. false when it must end at once: a tunnel or bytes passed unparsed
// have no answer to wait for, and would go on to the old target.
bool FollowSettings(CRelayConnection& conn)
{
    if (conn.m_bSettingsLeft || AreRelaySettingsCurrent(conn.m_target.settings)) return true;
    conn.m_bSettingsLeft = true;
    if (conn.m_requests.IsPassingThrough() || conn.m_responses.IsPassingThrough()) return false;
    conn.m_requests.StopAtNextHead();
    conn.m_responses.EndBrowserConnection();
    return true;
}

// How long the wait on both sockets may last: no limit, but for a request
// out on an upstream connection that has not said a word yet, which gets
// what is left of the head-wait since the last byte went to it.
int WaitLimitMs(const CRelayConnection& conn)
{
    if (conn.m_bTargetSpoke || conn.m_toBrowser.m_sockFrom == NO_SOCKET || conn.m_responses.IsBetweenAnswers() ||
        !SilenceCounts(conn))
        return -1;
    const long long nWaited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - conn.m_sentAt).count();
    const long long nLeft = GetRequestHeadWaitMs() - nWaited;
    return nLeft > 0 ? static_cast<int>(nLeft) : 0;
}

// Through SOCKS, a head naming another server waited in the tracker for the
// answers asked for: the connection to the last server goes, one to the new
// one comes, and the head (with what followed it) goes out on it. false
// when the new server cannot be had.
bool SwitchServer(CRelayConnection& conn)
{
    if (conn.m_toTarget.m_sockTo != NO_SOCKET) DropTarget(conn);
    conn.m_bTargetEndsAfterAnswer = false;
    CString strHost;
    int nPort = 0;
    std::string strHeld;
    conn.m_requests.TakeHeld(strHost, nPort, strHeld);
    // The tracker holds no head without a port; cut to 16 bits, one would
    // reach another server.
    if (!CwIsTcpPort(nPort)) return false;
    conn.m_target.strHost = strHost;
    conn.m_target.nPort = static_cast<WORD>(nPort);
    conn.m_strOut.clear();
    conn.m_requests.Feed(strHeld.data(), static_cast<int>(strHeld.size()), conn.m_strOut, conn.m_responses);
    if (conn.m_strOut.empty()) return true;
    return OpenTarget(conn) && SendBounded(conn.m_toTarget.m_sockTo, conn.m_strOut);
}

// The target ended its connection (or it failed). true when the browser's
// connection carries on: between answers, or with the waiting requests sent
// again on a new connection.
bool AfterTargetEnded(CRelayConnection& conn)
{
    if (conn.m_responses.IsBetweenAnswers()) {
        if (conn.m_bTargetAnswered) conn.m_bTargetEndsAfterAnswer = true;
        DropTarget(conn);
        return !conn.m_requests.IsFinished() && !conn.m_toTarget.m_bFromEnded;
    }
    // A kept-alive connection that the server closed while idle may take
    // the next request down with it; a new connection's close is an answer.
    std::string strAgain;
    if (!conn.m_bTargetAnswered || !conn.m_responses.AwaitsAnswer() || !conn.m_requests.Repeat(strAgain)) return false;
    DropTarget(conn);
    return OpenTarget(conn) && SendBounded(conn.m_toTarget.m_sockTo, strAgain);
}

// One receive on a channel that the wait found ready, and what follows from
// it. false when the connection is over.
bool StepChannel(CRelayConnection& conn, CRelayChannel& ch)
{
    if (!FollowSettings(conn)) return false;
    if (!conn.m_pBuffer) conn.m_pBuffer.reset(new (std::nothrow) char[RELAY_BUFFER_SIZE + 1]);
    char* const pBuffer = conn.m_pBuffer.get();
    if (!pBuffer) return false;
    const int nPendingBefore = conn.m_responses.PendingCount();
    ch.m_nLastLength = SockRecv(ch.m_sockFrom, pBuffer, RELAY_BUFFER_SIZE);
    ch.m_bTryFirst = false;
    if (ch.m_nLastLength == SOCK_NOTHING_YET) return true; // nothing there yet: wait for it
    if (ch.m_nLastLength > 0 && ch.m_direction == RELAY_TO_BROWSER && !conn.m_bTargetSpoke) {
        // Reaching the upstream is not enough: only its first byte shows it
        // works (see WaitLimitMs).
        conn.m_bTargetSpoke = true;
        CUpstreamHealth* pHealth = SilenceCounts(conn) ? UpstreamHealth(conn) : nullptr;
        if (pHealth) pHealth->NoteConnect(TRUE);
    }
    if (ch.m_nLastLength >= RELAY_BULK_RECEIVE) {
        if (!ch.m_bNonBlocking) ch.m_bNonBlocking = SockSetNonBlocking(ch.m_sockFrom) != FALSE;
        ch.m_bTryFirst = ch.m_bNonBlocking;
    }
    conn.m_strOut.clear();
    if (ch.m_nLastLength == 0 && ch.m_direction == RELAY_TO_TARGET) {
        // The browser shut down its sending side after its request (as some
        // clients do to mark its end): the server gets the same end, and
        // its answer still comes back.
        if (!conn.m_requests.IsStopped() && ch.m_sockTo != NO_SOCKET) SockShutdownSend(ch.m_sockTo);
        ch.m_bFromEnded = true;
        // With no answer to wait for, nothing is left to carry.
        return ch.m_sockTo != NO_SOCKET && !conn.m_responses.IsBetweenAnswers();
    }
    if (ch.m_nLastLength <= 0) {
        if (ch.m_direction == RELAY_TO_TARGET) return false;
        if (AfterTargetEnded(conn)) return true;
        // The server's close may complete what it sent (a page that ends
        // with the connection, a split tag held back).
        conn.m_responses.Finish(conn.m_strOut);
        SendBounded(ch.m_sockTo, conn.m_strOut);
        return false;
    }
    pBuffer[ch.m_nLastLength] = '\0';
    const char* pSend = nullptr;
    int nSend = 0;
    if (ch.m_direction == RELAY_TO_TARGET) {
        // Once the answers are a tunnel or something unparsed, what the
        // browser sends is no longer requests to follow either.
        if (conn.m_responses.IsPassingThrough() && !conn.m_requests.IsPassingThrough())
            conn.m_requests.StartPassing(conn.m_strOut);
        conn.m_requests.Feed(pBuffer, ch.m_nLastLength, conn.m_strOut, conn.m_responses);
    } else if (conn.m_responses.PassesUnchanged(ch.m_nLastLength)) {
        conn.m_responses.Skip(ch.m_nLastLength);
        pSend = pBuffer;
        nSend = ch.m_nLastLength;
    } else {
        conn.m_responses.Feed(pBuffer, ch.m_nLastLength, conn.m_strOut);
        // An HTTP proxy's answer to the browser's CONNECT says whether
        // secure pages go through it; through SOCKS the handshake said so.
        const int nTunnelStatus = conn.m_responses.TakeTunnelStatus();
        CUpstreamHealth* pHealth = nTunnelStatus != 0 && SilenceCounts(conn) ? UpstreamHealth(conn) : nullptr;
        if (pHealth) pHealth->NoteTunnelAnswer(nTunnelStatus);
    }
    if (!pSend) {
        pSend = conn.m_strOut.data();
        nSend = static_cast<int>(conn.m_strOut.size());
    }
    // The last target connection ended between answers: this request opens
    // the next one.
    if (nSend > 0 && ch.m_sockTo == NO_SOCKET && !OpenTarget(conn)) return false;
    if (nSend > 0 && !SendBounded(ch.m_sockTo, pSend, nSend)) {
        // A target that is gone may have answered all it was asked; what it
        // has not, the browser asks again on a new connection.
        return ch.m_direction == RELAY_TO_TARGET && AfterTargetEnded(conn);
    }
    if (ch.m_direction == RELAY_TO_TARGET) {
        // A target still silent is given its time from its last byte in: a
        // long upload must not count as its silence.
        if (nSend > 0 && !conn.m_bTargetSpoke) conn.m_sentAt = std::chrono::steady_clock::now();
        return true;
    }
    // An HTTP/1.0 browser knows the end of a filtered page by the close.
    if (conn.m_responses.MustClose()) return false;
    conn.m_requests.ForgetAnswered(conn.m_responses.PendingCount());
    if (nPendingBefore != conn.m_responses.PendingCount()) conn.m_bTargetAnswered = true;
    // The server said it ends its connection after this answer, or did so
    // before: the next request goes out on a new one rather than into that
    // close.
    if (conn.m_responses.IsBetweenAnswers() &&
        (conn.m_responses.ServerEndsConnection() || conn.m_bTargetEndsAfterAnswer))
        DropTarget(conn);
    return true;
}

} // namespace

unsigned int RelayThreadProc(void* pParam)
{
    std::unique_ptr<CRelayConnection> pConn(static_cast<CRelayConnection*>(pParam));
    CRelayConnection& conn = *pConn;
    int nUnwaited = 0;
    bool bWasIdle = false; // as the connection's listing has it
    for (;;) {
        int nReady = 0;
        if (nUnwaited < RELAY_MAX_UNWAITED)
            nReady = (conn.m_toTarget.m_bTryFirst ? 1 : 0) | (conn.m_toBrowser.m_bTryFirst ? 2 : 0);
        if (nReady != 0) {
            ++nUnwaited;
        } else {
            nUnwaited = 0;
            SOCKET_HANDLE sockBrowser = conn.m_toTarget.m_bFromEnded ? NO_SOCKET : conn.m_toTarget.m_sockFrom;
            if (sockBrowser == NO_SOCKET && conn.m_toBrowser.m_sockFrom == NO_SOCKET) break;
            const bool bIdle = conn.m_responses.IsBetweenAnswers();
            if (conn.m_target.pHeld && bIdle != bWasIdle) conn.m_target.pHeld->SetIdle(bIdle);
            // Nothing is owed: the next request may be minutes away, or never.
            if (bIdle) conn.m_pBuffer.reset();
            bWasIdle = bIdle;
            nReady = SockWaitReadable(sockBrowser, conn.m_toBrowser.m_sockFrom, WaitLimitMs(conn));
            if (nReady < 0) break;
            if (nReady == 0) {
                // The upstream took the request and let the whole head-wait
                // pass without a byte: pages never load through it, and
                // failover has to hear of it as of a refusal.
                if (CUpstreamHealth* pHealth = UpstreamHealth(conn)) pHealth->NoteConnect(FALSE);
                break;
            }
        }
        if ((nReady & 1) && !StepChannel(conn, conn.m_toTarget)) break;
        // The step before may have ended the target's connection.
        if ((nReady & 2) && conn.m_toBrowser.m_sockFrom != NO_SOCKET && !StepChannel(conn, conn.m_toBrowser)) break;
        // A request this connection must not carry, or the browser's last
        // one, ends it once the answers asked for are through.
        // So does a switch of the settings once the answers asked for before
        // it are through, rather than wait for a next request that could
        // only be refused.
        if ((conn.m_requests.IsFinished() || conn.m_bSettingsLeft) && conn.m_responses.IsBetweenAnswers()) break;
        if (conn.m_requests.IsHolding() && conn.m_responses.IsBetweenAnswers() && !SwitchServer(conn)) break;
    }
    return 0; // the record's end closes both sockets once
}

void RelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget, const CRequestHead& firstHead,
                     const CString& strFirstHead, const CString& strRest, const CRelayTarget& target)
{
    CRelayConnection* pConn = new CRelayConnection(sockBrowser, sockTarget);
    UseTarget(*pConn, sockTarget);
    // The listener hands every connection over non-blocking.
    pConn->m_toTarget.m_bNonBlocking = true;
    pConn->m_target = target;
    if (target.bToOrigin) pConn->m_requests.SendToOrigin(firstHead.m_strHost, firstHead.m_nPort);
    if (target.bFollowServers) pConn->m_requests.FollowServers();
    // Through the upstream, a later request for the user's own network is
    // not carried there: the browser sends it again on a new connection,
    // which goes straight to it.
    if (target.settings.pConfig->bUseUpstream && !target.bPrivateDirect) pConn->m_requests.KeepOffPrivateAddresses();
    pConn->m_requests.SetAuthLine(target.strAuthLine);
    pConn->m_requests.SetOwnPort(target.nOwnPort);
    // A tunnel the SOCKS proxy opened has no head to send: the CONNECT was
    // its handshake.
    const std::string strSent = target.bTunnelOpen ? std::string() : strFirstHead.str();
    pConn->m_requests.AfterFirstHead(firstHead, pConn->m_responses, strSent);
    std::string strOut = strSent;
    pConn->m_requests.Feed(strRest.str().data(), strRest.GetLength(), strOut, pConn->m_responses);
    if (target.bTunnelOpen) {
        // The browser hears of it from us, as it would from an HTTP proxy,
        // and the answer side passes the tunnel from here on.
        static const char kEstablished[] = "HTTP/1.1 200 Connection established\r\n\r\n";
        std::string strAnswer;
        pConn->m_responses.Feed(kEstablished, static_cast<int>(sizeof kEstablished - 1), strAnswer);
        pConn->m_bTargetSpoke = true;
        if (CUpstreamHealth* pHealth = UpstreamHealth(*pConn)) pHealth->NoteConnect(TRUE);
        if (!SendBounded(sockBrowser, strAnswer)) {
            delete pConn;
            return;
        }
    }
    if (!strOut.empty() && !SendBounded(sockTarget, strOut)) {
        delete pConn;
        return;
    }
    pConn->m_sentAt = std::chrono::steady_clock::now();
    RelayThreadProc(pConn);
}
