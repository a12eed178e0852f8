// DownloadText and the proxy-generator request.
#include "download.h"

#include "http_get.h"
#include "proxy_address.h"
#include "proxy_entry.h"
#include "proxy_sources.h"

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

// The GET behind both downloads: the body with every line ended by CR LF,
// at most nMaxBytes of it (0: all); *pbCut tells whether more was there.
BOOL FetchText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus, const CNetDeadline* pDeadline, size_t nMaxBytes,
               BOOL* pbCut)
{
    rText.Empty();
    if (pdwStatus) *pdwStatus = 0;
    if (pbCut) *pbCut = FALSE;
    try {
        CHttpGet get;
        get.SetDeadline(pDeadline);
        if (!get.Send(pszUrl, nullptr, kRequestVersion)) return FALSE;
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
            for (UINT k = 0; k < n; ++k) {
                if (buffer[k] == '\r') continue;
                if (buffer[k] == '\n') body += '\r';
                body += buffer[k];
            }
            if (nMaxBytes && nRead >= nMaxBytes) {
                // A body that ends right at the bound was not cut.
                char probe = 0;
                if (pbCut && !*pbCut && get.ReadWithin(&probe, 1) > 0) *pbCut = TRUE;
                break;
            }
        }
        if (pbCut && *pbCut) {
            // The line the bound cut through is no line of the source.
            size_t lf = body.rfind('\n');
            body.resize(lf == std::string::npos ? 0 : lf + 1);
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

BOOL DownloadText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus, const CNetDeadline* pDeadline)
{
    rText.Empty();
    CString text;
    if (!FetchText(pszUrl, text, pdwStatus, pDeadline, 0, nullptr)) return FALSE;
    std::printf("\nContent %s\n", text.GetString());
    std::fflush(stdout);
    rText = text;
    return TRUE;
}

BOOL DownloadSourceText(LPCTSTR pszUrl, CString& rText, BOOL& rbCut, DWORD* pdwStatus, const CNetDeadline* pDeadline)
{
    return FetchText(pszUrl, rText, pdwStatus, pDeadline, PROXY_SOURCE_MAX_BYTES, &rbCut);
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
