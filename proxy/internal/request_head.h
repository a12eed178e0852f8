// The first request head of a browser connection: where it ends, how it is
// split into request line and headers, where it is going, and how it is
// rebuilt for the upstream proxy or the web server.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/header_field.h"

// A head longer than this (its empty line included) ends the connection.
const int MAX_REQUEST_HEAD = 64 * 1024;

// Length of the head in the bytes received so far, up to and including the
// empty line that ends it; 0 while that line has not arrived. Empty lines
// before the request line belong to no head and are skipped. nSearchFrom
// skips bytes already searched (the caller passes its previous length).
int FindRequestHeadEnd(const char* pData, int nLength, int nSearchFrom = 0);

// Length of the CR LF pairs at the start of pData.
int SkipLeadingEmptyLines(const char* pData, int nLength);

struct CRequestHead {
    CString m_strRequestLine; // goes out exactly as received
    CHeaderFieldArray m_headers;
    CString m_strHost; // empty until a Host header is seen
    int m_nPort = 0;   // set with the host
};

// Splits a head (the bytes FindRequestHeadEnd measured) into its lines.
// FALSE for a head that must not be forwarded: a Host value holding a NUL,
// which the resolver would read only up to the NUL while the head carried
// on with the whole value (the target would not be the host the head names).
BOOL ParseRequestHead(const CString& strHead, CRequestHead& head);

// The request line as a server itself expects it: "GET /path HTTP/1.1" for
// "GET http://host:port/path HTTP/1.1" (many servers refuse the absolute
// form that is meant for proxies). Any other line (a path already, CONNECT's
// host:port, another scheme) comes back unchanged.
CString OriginFormRequestLine(const CString& strRequestLine);

// Request line, headers, the authorization line when there is one, and the
// empty line. pszAuthLine ends in its own CR LF; NULL adds nothing.
CString RebuildRequestHead(const CRequestHead& head, LPCTSTR pszAuthLine);
