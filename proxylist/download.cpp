// DownloadText and the proxy-generator request.
#include "download.h"

#include "http_get.h"
#include "list_route.h"
#include "proxy_address.h"
#include "proxy_entry.h"
#include "proxy_sources.h"
#include "upstream_fetch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The list is asked for as HTTP/1.0, so the server marks the end of its
// answer either with a length or by closing the connection. Chunked framing
// is for HTTP/1.1 clients only, and WinINet does not tell a chunked answer
// cut short from a whole one (Wine reports both as the end of the body), so
// a chunked answer is refused. An answer that ends by closing, with no
// length, cannot be checked at all: there a cut looks like the end.
const char kRequestVersion[] = "HTTP/1.0";

// FALSE when the answer announced a length and fewer bytes came (the server
// or the line dropped the connection halfway, and half a list is no list),
// or came in chunks, whose end cannot be checked.
BOOL IsBodyComplete(const CHttpFile& file)
{
    CString strEncoding;
    if (file.QueryInfo(HTTP_QUERY_TRANSFER_ENCODING, strEncoding) && !strEncoding.IsEmpty()) return FALSE;
    CString strLength;
    if (!file.QueryInfo(HTTP_QUERY_CONTENT_LENGTH, strLength) || strLength.IsEmpty()) return TRUE;
    return file.GetBytesReceived() >= std::strtoull(strLength, nullptr, 10);
}

} // namespace

BOOL HoldsProxyListEntry(const CString& strText)
{
    CStringList lines;
    AppendListEntries(strText, lines);
    CProxyAddress address;
    for (POSITION pos = lines.GetHeadPosition(); pos;)
        if (ParseProxyAddress(lines.GetNext(pos), address)) return TRUE;
    return FALSE;
}

CString VendorUrl(LPCTSTR pszServer, LPCTSTR pszPath)
{
    CString server(pszServer);
    server.Trim();
    return "http://" + server + pszPath;
}

namespace {

// Appends n bytes of a body with every line ended by CR LF.
void AppendLines(std::string& body, const char* pData, size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        if (pData[k] == '\r') continue;
        if (pData[k] == '\n') body += '\r';
        body += pData[k];
    }
}

// The line the bound cut through is no line of the source.
void DropCutLine(std::string& body)
{
    size_t lf = body.rfind('\n');
    body.resize(lf == std::string::npos ? 0 : lf + 1);
}

// The GET along an upstream, with our own client: the name goes to the
// proxy inside the request or the SOCKS handshake.
BOOL FetchThroughRoute(const CUpstreamConfig& route, LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus,
                       const CNetDeadline* pDeadline, size_t nMaxBytes, BOOL* pbCut)
{
    CString strHost, strHostPort, strPath;
    WORD nPort = 0;
    if (!SplitHttpUrl(pszUrl, strHost, nPort, strHostPort, strPath)) return FALSE;
    // Without a job's deadline the whole request gets what WinINet's
    // limits would allow one connect and one long wait.
    const CHttpTimeouts limits = GetHttpTimeouts();
    CNetDeadline own(limits.dwConnectMs + limits.dwReceiveMs);
    const CNetDeadline& job = pDeadline ? *pDeadline : own;
    CJobDialPolicy policy(job, job.RemainingMs());
    // Room for the answer's head above the body's own bound.
    const size_t nBodyCap = nMaxBytes ? nMaxBytes : PROXY_SOURCE_MAX_BYTES;
    const int nAnswerCap = static_cast<int>(nBodyCap + 64 * 1024);
    CUpstreamFetch fetch;
    if (!FetchThroughUpstream(route, strHost, nPort, BuildProxiedGet(route, strHostPort, strPath), policy, fetch,
                              nAnswerCap, nMaxBytes != 0))
        return FALSE;
    if (pdwStatus) *pdwStatus = fetch.dwStatus;
    if (fetch.dwStatus != 200) return FALSE;
    std::string body;
    size_t nBody = static_cast<size_t>(fetch.strBody.GetLength());
    const BOOL bCut = nMaxBytes && nBody > nMaxBytes;
    AppendLines(body, fetch.strBody.GetString(), bCut ? nMaxBytes : nBody);
    if (bCut) {
        if (pbCut) *pbCut = TRUE;
        DropCutLine(body);
    }
    rText = CString(body);
    return TRUE;
}

// The GET behind both downloads: the body with every line ended by CR LF,
// at most nMaxBytes of it (0: all); *pbCut tells whether more was there.
BOOL FetchText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus, const CNetDeadline* pDeadline, size_t nMaxBytes,
               BOOL* pbCut, const CUpstreamConfig* pRoute)
{
    rText.Empty();
    if (pdwStatus) *pdwStatus = 0;
    if (pbCut) *pbCut = FALSE;
    CString strProxy;
    switch (ListRouteFor(pRoute, pszUrl, strProxy)) {
    case LIST_ROUTE_OWN_CLIENT:
        return FetchThroughRoute(*pRoute, pszUrl, rText, pdwStatus, pDeadline, nMaxBytes, pbCut);
    case LIST_ROUTE_WININET_PROXY:
    case LIST_ROUTE_DIRECT: break;
    }
    try {
        CHttpGet get;
        get.SetDeadline(pDeadline);
        if (!get.Send(pszUrl, strProxy.IsEmpty() ? nullptr : strProxy.GetString(), kRequestVersion)) return FALSE;
        DWORD dwStatus = get.GetStatusCode();
        if (pdwStatus) *pdwStatus = dwStatus;
        // An error page is not a list: only the server's 200 answer counts.
        if (dwStatus != 200) return FALSE;

        // Taken by length, not as C strings: a NUL in a line must not cut
        // it short and join what follows to the next line.
        std::string body;
        size_t nRead = 0;
        char buffer[4096];
        for (UINT n; (n = get.ReadWithin(buffer, sizeof buffer)) > 0;) {
            if (nMaxBytes && nRead + n > nMaxBytes) {
                n = static_cast<UINT>(nMaxBytes - nRead);
                if (pbCut) *pbCut = TRUE;
            }
            nRead += n;
            AppendLines(body, buffer, n);
            if (nMaxBytes && nRead >= nMaxBytes) {
                // A body that ends right at the bound was not cut.
                char probe = 0;
                if (pbCut && !*pbCut && get.ReadWithin(&probe, 1) > 0) *pbCut = TRUE;
                break;
            }
        }
        if (pbCut && *pbCut) {
            DropCutLine(body);
        } else if (!IsBodyComplete(*get.GetFile())) {
            return FALSE;
        }
        rText = CString(body);
    } catch (CException* e) {
        e->Delete();
        rText.Empty();
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL DownloadText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus, const CNetDeadline* pDeadline,
                  const CUpstreamConfig* pRoute)
{
    rText.Empty();
    CString text;
    if (!FetchText(pszUrl, text, pdwStatus, pDeadline, 0, nullptr, pRoute)) return FALSE;
    std::printf("\nContent %s\n", text.GetString());
    std::fflush(stdout);
    rText = text;
    return TRUE;
}

BOOL DownloadSourceText(LPCTSTR pszUrl, CString& rText, BOOL& rbCut, DWORD* pdwStatus, const CNetDeadline* pDeadline,
                        const CUpstreamConfig* pRoute)
{
    return FetchText(pszUrl, rText, pdwStatus, pDeadline, PROXY_SOURCE_MAX_BYTES, &rbCut, pRoute);
}

CString DownloadText(LPCTSTR pszUrl)
{
    CString text;
    DownloadText(pszUrl, text);
    return text;
}

BOOL RequestProxyGenPage(LPCTSTR pszServer, DWORD dwTimeout, const CNetDeadline* pDeadline)
{
    try {
        CHttpGet get;
        get.SetTimeout(dwTimeout);
        get.SetDeadline(pDeadline);
        if (!get.Send(VendorUrl(pszServer, PROXY_GEN_PATH), nullptr)) return FALSE;
        if (get.GetStatusCode() != 200) return FALSE;
        char buffer[4096];
        while (get.ReadWithin(buffer, sizeof buffer) > 0) {
        }
        return TRUE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}
