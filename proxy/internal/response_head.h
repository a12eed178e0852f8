// The head of a server's answer as the relay needs it: its status, how its
// body is framed, whether the body is a page the filter may read, and the
// head rebuilt for a filtered body whose length is no longer known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A response head longer than this is not parsed: it passes on unchanged.
const int MAX_RESPONSE_HEAD = 64 * 1024;

// What the browser asked, as far as the answer's framing depends on it.
struct CPendingRequest {
    bool bHead = false;    // a HEAD request: the answer has no body
    bool bConnect = false; // a CONNECT: a 2xx answer starts a tunnel
    bool bClient11 = true; // HTTP/1.1 or later: it reads chunked bodies
    bool bLast = false;    // the browser's last request on its connection
};

struct CResponseField {
    std::string strName;  // as sent
    std::string strValue; // blanks around it removed
    std::string strLine;  // the whole line, without its line end
};

struct CResponseHead {
    std::string strStatusLine;
    int nMinorVersion = 0; // HTTP/1.x
    int nStatus = 0;
    std::vector<CResponseField> fields;

    // Every value of the fields with this name (case ignored), joined with
    // ", " as HTTP allows for list fields.
    std::string Values(const char* pszName) const;
    bool Has(const char* pszName) const;
};

// Length of the head in pData, its ending empty line included (CR LF or a
// bare LF ends a line); 0 while that line has not arrived. nSearchFrom skips
// bytes already searched (the caller passes its previous length), so a head
// that trickles in is not searched again from its start for every byte.
int FindResponseHeadEnd(const char* pData, int nLength, int nSearchFrom = 0);

// Splits a complete head. false when it is not an HTTP/1.x status line with a
// three-digit code followed by well-formed field lines (a folded line, a
// line without a colon or a blank before the colon counts as malformed).
bool ParseResponseHead(const char* pData, int nLength, CResponseHead& head);

enum EBodyFraming { BODY_NONE, BODY_LENGTH, BODY_CHUNKED, BODY_CLOSE };

// How the body of this answer to this request ends. false when the head
// leaves it in doubt (a Content-Length that is not one decimal number, or
// several that differ): such an answer is passed on, not interpreted.
bool DecideBodyFraming(const CResponseHead& head, const CPendingRequest& request, EBodyFraming& framing,
                       std::uint64_t& nLength);

// A text/html body (any parameters, any case) without a content coding or
// with "identity", and without a transfer coding other than chunked; not a
// partial answer (206, Content-Range).
bool IsFilterablePage(const CResponseHead& head);

// The head for a filtered body: without Content-Length and Transfer-Encoding;
// then either "Transfer-Encoding: chunked" (an HTTP/1.0 status line becomes
// HTTP/1.1, with "Connection: close" unless the answer kept the connection
// alive) or, for a client that cannot read chunks, "Connection: close" in
// place of its connection fields. Line ends are CR LF.
std::string RebuildHeadForFilteredBody(const CResponseHead& head, bool bChunked);

// The server ends its connection after this answer: "close" among its
// connection options, or an HTTP/1.0 head without "keep-alive".
bool ServerEndsAfter(const CResponseHead& head);

// strHead (parsed as head) with its connection fields saying what the relay
// does with the browser's connection after this answer. bKeep: it carries
// on, so a close the server meant for its own connection (or the one an
// HTTP/1.0 head or browser implies without "keep-alive") must not reach the
// browser, which would open a new connection for every request. !bKeep: it
// ends, and the head says "Connection: close", so that no browser sends its
// next request into a closing connection. A head that already says what
// happens comes back unchanged.
std::string WithConnectionFields(const CResponseHead& head, const std::string& strHead, bool bKeep, bool bClient11);
