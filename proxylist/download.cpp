// DownloadText and the proxy-generator request.
#include "download.h"

#include "http_get.h"

#include <cstdio>
#include <cstdlib>

namespace {

// FALSE when the answer announced a length and fewer bytes came: the server
// or the line dropped the connection halfway, and half a list is no list.
BOOL IsBodyComplete(const CHttpFile& file)
{
    CString strLength;
    if (!file.QueryInfo(HTTP_QUERY_CONTENT_LENGTH, strLength) || strLength.IsEmpty()) return TRUE;
    return file.GetBytesReceived() >= std::strtoull(strLength, nullptr, 10);
}

} // namespace

CString VendorUrl(LPCTSTR pszServer, LPCTSTR pszPath)
{
    CString server(pszServer);
    server.Trim();
    return "http://" + server + pszPath;
}

BOOL DownloadText(LPCTSTR pszUrl, CString& rText, DWORD* pdwStatus)
{
    rText.Empty();
    if (pdwStatus) *pdwStatus = 0;
    CString text;
    try {
        CHttpGet get;
        if (!get.Send(pszUrl, nullptr)) return FALSE;
        DWORD dwStatus = get.GetStatusCode();
        if (pdwStatus) *pdwStatus = dwStatus;
        // An error page is not a list: only the server's 200 answer counts.
        if (dwStatus != 200) return FALSE;

        char buffer[4096];
        while (get.GetFile()->ReadString(buffer, sizeof buffer)) {
            CString piece(buffer);
            int n = piece.GetLength();
            if (n > 0 && piece[n - 1] == '\n') {
                text.Append(buffer, n - 1);
                text += "\r\n";
            } else {
                text += piece;
            }
        }
        if (!IsBodyComplete(*get.GetFile())) return FALSE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
    std::printf("\nContent %s\n", text.GetString());
    std::fflush(stdout);
    rText = text;
    return TRUE;
}

CString DownloadText(LPCTSTR pszUrl)
{
    CString text;
    DownloadText(pszUrl, text);
    return text;
}

BOOL RequestProxyGenPage(LPCTSTR pszServer, DWORD dwTimeout)
{
    try {
        CHttpGet get;
        get.SetTimeout(dwTimeout);
        if (!get.Send(VendorUrl(pszServer, PROXY_GEN_PATH), nullptr)) return FALSE;
        if (get.GetStatusCode() != 200) return FALSE;
        char buffer[4096];
        while (get.GetFile()->Read(buffer, sizeof buffer) > 0) {
        }
        return TRUE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}
