// CRequestTracker: the browser-to-server half of a connection. It follows
// the requests a browser sends on a kept-alive connection (heads and bodies,
// pipelined or not), tells the response side which answer belongs to a HEAD
// or a CONNECT request and which browser reads chunks, and passes every head
// through the content filter's header hook. Bodies pass byte for byte.
//
// What it cannot follow (a head past MAX_REQUEST_HEAD, a broken body, a
// tunnel or a protocol switch) it passes on unchanged from then on; the
// response side then finds no request to pair an answer with and passes
// answers on unchanged too, so nothing is filtered on a guess. A head past
// the limit while a filter switch is on stops the tracker instead: passed
// on, its answer and every later one would reach the browser unfiltered.
#pragma once

#include "proxy/internal/chunked_decoder.h"
#include "proxy/internal/request_head.h"
#include "proxy/internal/response_framer.h"

#include <cstdint>
#include <deque>
#include <string>

// What the framing of the answer needs to know about a request, and how the
// request's own body ends. false when the head does not say it clearly
// (unknown version, a Content-Length that is not a number, a transfer coding
// other than chunked); bPassAfter is set for a CONNECT or an Upgrade request,
// after which the browser's bytes may no longer be requests; bLast for the
// browser's last request on the connection ("Connection: close", or HTTP/1.0
// without "keep-alive").
struct CRequestFraming {
    CPendingRequest request;
    bool bChunked = false;
    std::uint64_t nLength = 0;
    bool bPassAfter = false;
    bool bLast = false;
};
bool DescribeRequest(const CRequestHead& head, CRequestFraming& framing);

class CRequestTracker {
public:
    // The handler already sent the first head (rebuilt, as strSent); from
    // here the tracker follows its body and what comes after.
    void AfterFirstHead(const CRequestHead& head, CResponseFramer& responses, const std::string& strSent = "");

    // What every later head carries besides the browser's own fields: the
    // authorization line for the upstream proxy (CR LF included), since any
    // of them may be the first on a new connection to it.
    void SetAuthLine(const CString& strAuthLine) { m_strAuthLine = strAuthLine; }

    // The proxy's own port: a later head naming it on a loopback host stops
    // the tracker (see IsStopped), as the first one is refused.
    void SetOwnPort(WORD nPort) { m_nOwnPort = nPort; }

    // The requests sent and not answered yet are forgotten down to the
    // nPending newest (the response side took the heads of the others).
    void ForgetAnswered(int nPending);

    // Appends to strOut the requests sent and not answered yet, as they went
    // out, when every one of them may be sent again: GET or HEAD, each whole
    // and short. false otherwise, and for none.
    bool Repeat(std::string& strOut) const;

    // Takes the next bytes from the browser and appends to strOut what the
    // server is to receive now.
    void Feed(const char* pData, int nLength, std::string& strOut, CResponseFramer& responses);

    bool IsPassingThrough() const { return m_state == PASS; }

    // Without an upstream proxy the connection goes to the server the first
    // head named: later heads go out in the path form that servers expect,
    // and a head naming another server is not sent to this one (its cookies
    // and all); the tracker stops there instead.
    void SendToOrigin(const CString& strHost, int nPort);

    // A head was found that this connection must not carry (another server
    // than its own without an upstream, or a NUL in its Host value): it and
    // everything after it are dropped, and the connection is to end once the
    // answers already asked for are delivered. The browser sends the request
    // again on a new connection.
    bool IsStopped() const { return m_state == STOPPED; }

    // The next head stops the tracker as above, before any byte of it is
    // sent, while a request being sent goes on to its end. For a connection
    // whose settings went out of force: requests sent before stay the old
    // settings' to answer; none after them may go there.
    void StopAtNextHead();

    // Through a SOCKS proxy, where the connection goes to each server
    // itself: a head naming another server than the last one is held (with
    // everything after it) instead of stopping the tracker, until the relay
    // has a connection to that server and takes it back with TakeHeld.
    void FollowServers() { m_bFollowServers = true; }

    // The connection goes through the upstream: a head for a private
    // address (see private_target.h) stops the tracker as above, so the
    // upstream never gets it.
    void KeepOffPrivateAddresses() { m_bKeepOffPrivate = true; }
    bool IsHolding() const { return m_state == HOLD; }
    // The server the held head names, and the bytes held; from now on the
    // tracker follows that server, and the bytes are to be fed again.
    void TakeHeld(CString& rHost, int& rPort, std::string& rBytes);

    // Nothing more the browser sends is to be carried: it was stopped, or
    // the browser's last request (see CRequestFraming::bLast) has gone whole.
    // The connection ends once the answers asked for are delivered, without
    // waiting for the server to close after them (a server that ignores
    // "close" would keep the browser waiting for good).
    bool IsFinished() const { return m_state == STOPPED || m_state == LAST; }

    // Everything from now on passes unchanged; a head being collected goes
    // to strOut as it came. For a connection whose answers are no longer
    // HTTP that the response side can follow.
    void StartPassing(std::string& strOut);

private:
    enum State { HEAD, BODY_LENGTH, BODY_CHUNKED, PASS, STOPPED, LAST, HOLD };

    // One request as it went out, kept while it waits for its answer.
    struct CSent {
        std::string strBytes;
        bool bRepeatable = false; // cleared, with the bytes, once too long
    };
    void Record(const char* pData, size_t nLength);

    void StartBody(const CRequestHead& head, CResponseFramer& responses);
    State AfterBody() const;
    int FeedHead(const char* pData, int nLength, std::string& strOut, CResponseFramer& responses);

    State m_state = HEAD;
    std::string m_strHead;
    std::uint64_t m_nLeft = 0;
    bool m_bPassAfterBody = false;
    bool m_bLastAfterBody = false;
    bool m_bStopAtHead = false;
    CChunkedDecoder m_chunks;
    bool m_bToOrigin = false;
    CString m_strOriginHost;
    int m_nOriginPort = 0;
    bool m_bFollowServers = false;
    bool m_bKeepOffPrivate = false;
    std::string m_strHeld; // the held head and what came after it
    CString m_strHeldHost;
    int m_nHeldPort = 0;
    CString m_strAuthLine;
    WORD m_nOwnPort = 0;
    std::deque<CSent> m_sent;
};
