// CResponseFramer: the server-to-browser half of a connection, streaming.
// It follows the framing of every answer (heads, bodies by length, chunks or
// the connection's end, answers without a body), pairs each answer with the
// request it answers, and passes through the content filter only the bodies
// of pages: text/html without a content coding, while a switch is on. A
// filtered body changes length, so it is sent on re-framed: chunked to an
// HTTP/1.1 browser, ended by closing the connection to an HTTP/1.0 one.
// Everything else passes byte for byte. What it cannot parse it passes on
// unchanged and unfiltered until the server closes.
//
// Memory is bounded per connection: a head up to MAX_RESPONSE_HEAD, a chunk
// line or trailer section within CChunkedDecoder's limits, a few held bytes
// of a split tag, and the output of one piece.
#pragma once

#include "proxy/internal/chunked_decoder.h"
#include "proxy/internal/response_head.h"
#include "proxy/internal/stream_filter.h"

#include <cstdint>
#include <deque>
#include <string>

class CResponseFramer {
public:
    // Requests sent to the server and not answered yet, oldest first. More
    // than this and the request side stops tracking (see CRequestTracker).
    static const int MAX_PENDING = 1000;

    // The browser-to-server side announces each request it forwarded, in
    // order. An answer that finds no request announced is passed on as it
    // comes, with everything after it.
    void ExpectResponse(const CPendingRequest& request) { m_pending.push_back(request); }
    int PendingCount() const { return static_cast<int>(m_pending.size()); }

    // Takes the next bytes from the server and appends to strOut what the
    // browser is to receive now.
    void Feed(const char* pData, int nLength, std::string& strOut);

    // The next nLength bytes from the server reach the browser exactly as
    // they are and change nothing but a count: the middle of a body that
    // passes unfiltered, or a tunnel. The relay then sends them straight
    // from its receive buffer and calls Skip instead of Feed, which spares a
    // download one copy of every byte.
    bool PassesUnchanged(int nLength) const;
    // Takes nLength bytes for which PassesUnchanged was true.
    void Skip(int nLength);

    // The server closed: appends what was held back. A filtered body that
    // the close cut short stays unfinished (no last chunk), so the browser
    // sees a broken transfer rather than a complete page.
    void Finish(std::string& strOut);

    // The browser's connection ends after the answer in flight (or after
    // the answers still asked for): every answer head from now on says
    // "Connection: close".
    void EndBrowserConnection() { m_bEndBrowser = true; }

    // The browser connection has to be closed once strOut has been sent: a
    // filtered body ended by the close for an HTTP/1.0 browser is complete.
    bool MustClose() const { return m_bMustClose; }

    // Every answer announced so far has been delivered whole and no other
    // has begun: the connection can end here without cutting one short.
    bool IsBetweenAnswers() const { return m_state == IN_HEAD && m_pending.empty() && m_strHead.empty(); }

    // The head of the last answer said that the server ends its connection
    // after it (see ServerEndsAfter): once it is through, the next request
    // is better sent on a new connection than into that close.
    bool ServerEndsConnection() const { return m_bServerEnds; }

    // No byte of an answer to the requests still pending has come yet.
    bool AwaitsAnswer() const { return m_state == IN_HEAD && !m_pending.empty() && m_strHead.empty(); }

    // Everything is passed on unchanged from here on: a tunnel after CONNECT
    // or a protocol switch, or an answer that could not be parsed.
    bool IsPassingThrough() const { return m_state == PASS; }

    // The status of the answer to a CONNECT that came since the last call,
    // 0 when none did: whether the upstream carries the browser's tunnels.
    int TakeTunnelStatus()
    {
        const int nStatus = m_nTunnelStatus;
        m_nTunnelStatus = 0;
        return nStatus;
    }

private:
    enum State { IN_HEAD, IN_LENGTH_BODY, IN_CHUNKED_BODY, IN_CLOSE_BODY, PASS, AFTER_CLOSE };
    enum Output { OUT_SAME, OUT_CHUNKED, OUT_CLOSE };

    void TakeHead(std::string& strOut);
    void StartPassing(std::string& strOut, bool bInChunks);
    void EmitBody(const char* pData, int nLength, std::string& strOut);
    void AppendChunk(const std::string& strData, std::string& strOut);
    void EndOfMessage(std::string& strOut);
    int FeedHead(const char* pData, int nLength, std::string& strOut);
    int FeedChunked(const char* pData, int nLength, std::string& strOut);

    State m_state = IN_HEAD;
    Output m_output = OUT_SAME;
    bool m_bRawInChunks = false; // passing through inside a re-chunked body
    bool m_bMustClose = false;
    bool m_bServerEnds = false;
    bool m_bEndBrowser = false;
    int m_nTunnelStatus = 0;
    std::deque<CPendingRequest> m_pending;
    std::string m_strHead;     // head bytes not complete yet
    std::uint64_t m_nLeft = 0; // body bytes left for BODY_LENGTH
    CChunkedDecoder m_chunks;
    CStreamFilter m_filter;
    std::string m_strScratch; // decoded or filtered bytes of one piece
};
