// Downloads from the vendor's web server and the list sources: the proxy
// list text and the proxy-generator request. They never follow the proxy
// the browser's connection names; a list download takes the route the
// caller hands in (the upstream in force while the user browses through
// one), or goes straight to the server.
#pragma once

#include "framework/core/cstring.h"
#include "net_deadline.h"

struct CUpstreamConfig;

// Paths on the vendor's server.
#define PROXY_LIST_PATH "/licensing/ProxyGenerator/proxylist.txt"
#define PROXY_GEN_PATH "/licensing/ProxyGenerator/ProxyGen.asp"
#define SPEED_SAMPLE_PATH "/bandwidthchecker/dlsample1.gif"

// "http://" + server ("host" or "host:port") + path.
CString VendorUrl(LPCTSTR pszServer, LPCTSTR pszPath);

// Fetches the body of an http:// URL as text, every line ended with CR LF
// (the body's own CRs are dropped, each LF becomes CR LF), and prints it to
// the standard output as "\nContent %s\n". TRUE only for a complete answer
// with status 200; otherwise rText is empty and pdwStatus (when given) holds
// the status, 0 when no answer came at all. The request is HTTP/1.0: an
// answer in chunks, whose end WinINet cannot check, counts as incomplete.
// Every wait is bounded by GetHttpTimeouts (http_get.h), and the whole of
// it by pDeadline when one is given (a download cut off by it failed).
// pRoute, when it names an upstream, carries the request (ListRouteUrl
// says how): the server's name goes to the proxy and is never looked up
// here. Null, or one without an upstream, goes direct.
BOOL DownloadText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus = nullptr, const CNetDeadline* pDeadline = nullptr,
                  const CUpstreamConfig* pRoute = nullptr);

// A list source on the web (http:// or https://), read as DownloadText
// reads, without the print: at most PROXY_SOURCE_MAX_BYTES of the body,
// the line the bound cut through dropped; rbCut tells whether it was cut.
BOOL DownloadSourceText(LPCTSTR pszUrl, CString& rText, BOOL& rbCut, DWORD* pdwStatus = nullptr,
                        const CNetDeadline* pDeadline = nullptr, const CUpstreamConfig* pRoute = nullptr);

// The same, with an empty text for every failure.
CString DownloadText(LPCTSTR pszUrl);

// TRUE when at least one line of the text holds a proxy address
// (ParseProxyAddress). An empty answer, or one with no such line,
// is no list: the old one must not be replaced by it.
BOOL HoldsProxyListEntry(const CString& strText);

// Requests the proxy-generator page of a server and discards the answer;
// TRUE when it answered with status 200. dwTimeout, when not 0, bounds the
// connect, the send and each receive (see CHttpGet::SetTimeout); pDeadline,
// when given, the whole request.
BOOL RequestProxyGenPage(LPCTSTR pszServer, DWORD dwTimeout = 0, const CNetDeadline* pDeadline = nullptr);
