// The relay of an established connection: one thread carries both of its
// directions, waiting on both sockets. What the browser sends goes to the
// target through the request tracker; the target's answers come back
// through the response framer and the content filter. One thread keeps the
// two halves in step (the answer side learns, in order, which requests were
// HEAD or CONNECT) and costs one thread per connection instead of two.
#pragma once

#include "framework/core/socket_api.h"
#include "proxy/internal/held_connections.h"
#include "proxy/internal/relay_settings.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/request_tracker.h"
#include "proxy/internal/response_framer.h"
#include "proxy/upstream_dialer.h"

#include <chrono>
#include <memory>
#include <string>

// One receive and one send per this many bytes. Under Wine every socket call
// is a round trip to the wineserver: a 100 MB download through the proxy ran
// at about 20 MB/s with 16 KB, 30 with 64 KB, 150 with 128 KB and 60 with
// 256 KB (medians on a loaded machine); natively the size hardly mattered.
const int RELAY_BUFFER_SIZE = 128 * 1024;

// A receive at least this long means the side sends in bulk: more is most
// likely waiting, so the next receive is tried before the wait. A smaller
// one (a page's end, a request) waits first, as trying would mostly find
// nothing and cost the round trips for nothing.
const int RELAY_BULK_RECEIVE = 32 * 1024;

// Receives tried one after the other without the wait on both sockets: a
// download that never pauses must not keep the browser's next request from
// being read.
const int RELAY_MAX_UNWAITED = 16;

enum ERelayDirection { RELAY_TO_TARGET, RELAY_TO_BROWSER };

// One direction of a connection.
struct CRelayChannel {
    SOCKET_HANDLE m_sockFrom = NO_SOCKET;
    SOCKET_HANDLE m_sockTo = NO_SOCKET;
    ERelayDirection m_direction = RELAY_TO_TARGET;
    int m_nLastLength = 0; // count of the last receive
    // The from side ended its sending (a half-close): not read any more,
    // while the other direction goes on.
    bool m_bFromEnded = false;
    // The from socket is non-blocking (as the relay makes every socket it
    // sends on, so that each send can be bound): a receive can be tried
    // before waiting.
    bool m_bNonBlocking = false;
    // The last receive was a bulk one: try the next without waiting first.
    bool m_bTryFirst = false;
};

// Where a connection's requests go, so that a new connection can be opened
// to it when the last one ended between answers.
struct CRelayTarget {
    // The server the requests name (the one a SOCKS proxy is asked for, or,
    // without an upstream, the one connected to); unused with an HTTP proxy,
    // which every request names itself.
    CString strHost;
    WORD nPort = 0;
    // The server the first head named (no upstream proxy, or a SOCKS one),
    // which every later request on the connection must name too.
    BOOL bToOrigin = FALSE;
    // Through SOCKS a head naming another server waits until the answers
    // asked for are through and then goes on a new connection to its
    // server, where without an upstream it ends the browser's connection.
    BOOL bFollowServers = FALSE;
    // The first request was a CONNECT the SOCKS proxy already carried out:
    // the browser is told so by this proxy, and the tunnel starts at once.
    BOOL bTunnelOpen = FALSE;
    // The server is an address in the user's own network, reached from
    // here without the upstream in force (see private_target.h). Its
    // address is taken as written, never looked up.
    BOOL bPrivateDirect = FALSE;
    DWORD dwOwnAddr = 0; // network order: the proxy's own, never a first hop
    // The first hop's name and the address found for it, 0 before the
    // first dial.
    CString strHopName;
    DWORD dwHopAddr = 0;
    CString strAuthLine; // for the upstream proxy, CR LF included; or empty
    WORD nOwnPort = 0;   // the proxy's own, which no later head may name
    // The listing of the browser's connection, told when it is idle and
    // released before the browser's socket closes; may be null.
    CHeldConnection* pHeld = nullptr;
    // What the first request went out with; every later connection and
    // request is checked against it (see relay_settings.h). Its
    // configuration's health counter, when an upstream is in use, hears how
    // each connection to the upstream went.
    CRelaySettings settings;
};

// Both directions of one connection and the state that pairs them. Owns
// both sockets: they are closed once, when the relay ends (the target's
// also when it ends before the browser's).
struct CRelayConnection {
    CRelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget);
    ~CRelayConnection();
    CRelayConnection(const CRelayConnection&) = delete;
    CRelayConnection& operator=(const CRelayConnection&) = delete;

    CRelayChannel m_toTarget;  // browser to target
    CRelayChannel m_toBrowser; // target to browser, filtered
    // The receive buffer of both directions, RELAY_BUFFER_SIZE and a NUL: a
    // step sends on (or hands to the tracker or framer) all it received
    // before the next one receives. Held only while the connection is busy:
    // most held connections are idle ones, and each would keep its buffer
    // for nothing (see held_connections.h).
    std::unique_ptr<char[]> m_pBuffer;
    CRequestTracker m_requests;
    CResponseFramer m_responses;
    std::string m_strOut; // what one step has to send
    CRelayTarget m_target;
    // An answer came on the target connection in use: it is a kept-alive
    // one, whose close before the next answer may be a mere idle close.
    bool m_bTargetAnswered = false;
    // A target connection of this relay ended right after its answer (as a
    // proxy that serves one request per connection does): the later ones
    // are closed from this side as soon as their answer is through, rather
    // than waited on for a close that only costs a wake and a receive.
    bool m_bTargetEndsAfterAnswer = false;
    // The target connection in use sent a byte. Until it does, a request on
    // it waits at most the head-wait (GetRequestHeadWaitMs) from
    // m_sentAt: an upstream that accepts and then says nothing is failing
    // as surely as one that refuses.
    bool m_bTargetSpoke = false;
    std::chrono::steady_clock::time_point m_sentAt;
    // The settings in force are no longer the ones the connection began
    // with: it carries no new request and ends after the answers asked for.
    bool m_bSettingsLeft = false;
};

// A connection for the target's requests along the route of its settings
// (see upstream_dialer.h): to the HTTP proxy, through the SOCKS proxy to
// target.strHost:nPort, or to that server itself. Never to the proxy's own
// endpoint, and never once the settings are out of force. A failure of the
// upstream itself is told to its health counter; a success is told by the
// relay when the upstream first answers.
SOCKET_HANDLE DialTarget(CRelayTarget& target, CDialResult& rResult);

// Thread routine, parameter one CRelayConnection, which it frees. Carries
// both directions until either side closes or fails or a send fails; then
// closes both sockets. Returns 0.
unsigned int RelayThreadProc(void* pParam);

// Sets up the relay of a connection whose first request head has been read
// (and is sent as strFirstHead): strRest, what the browser sent after that
// head, is followed like everything later. Sends the first head and the
// rest to the target, then relays on the calling thread until the
// connection ends. Owns both sockets from the call on.
//
// The browser's connection outlives the target's: when the target ends its
// connection between answers, the browser's next request goes out on a new
// one. When it ends one that had answered before without any byte of the
// next answer, the requests waiting are sent once more on a new connection
// if they are GET or HEAD; otherwise, and in the middle of an answer, the
// browser's connection ends too.
//
// Once the settings it began with are out of force, no request goes out any
// more: the browser's connection ends after the answers already asked for
// (saying "Connection: close" in the heads still to come), and at once when
// it carries a tunnel or bytes passed unparsed.
void RelayConnection(SOCKET_HANDLE sockBrowser, SOCKET_HANDLE sockTarget, const CRequestHead& firstHead,
                     const CString& strFirstHead, const CString& strRest, const CRelayTarget& target);
