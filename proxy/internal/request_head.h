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
    CString m_strRequestLine;     // goes out exactly as received
    CHeaderFieldArray m_headers;
    CString m_strHost;            // empty until a Host header is seen
    int m_nPort = 0;              // set with the host
};

// Splits a head (the bytes FindRequestHeadEnd measured) into its lines.
void ParseRequestHead(const CString& strHead, CRequestHead& head);

// Request line, headers, the authorization line when there is one, and the
// empty line. pszAuthLine ends in its own CR LF; NULL adds nothing.
CString RebuildRequestHead(const CRequestHead& head, LPCTSTR pszAuthLine);
