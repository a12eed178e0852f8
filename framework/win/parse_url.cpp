// AfxParseURL over InternetCrackUrlA, which knows every scheme WinINet knows.
#include "parse_url.h"

#include "framework/core/text_number.h"

#include <cstring>

namespace {

DWORD ServiceOf(INTERNET_SCHEME scheme, const CString& schemeName)
{
    switch (scheme) {
    case INTERNET_SCHEME_HTTP: return AFX_INET_SERVICE_HTTP;
    case INTERNET_SCHEME_HTTPS: return AFX_INET_SERVICE_HTTPS;
    case INTERNET_SCHEME_FTP: return AFX_INET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER: return AFX_INET_SERVICE_GOPHER;
    case INTERNET_SCHEME_FILE: return AFX_INET_SERVICE_FILE;
    case INTERNET_SCHEME_MAILTO: return AFX_INET_SERVICE_MAILTO;
    case INTERNET_SCHEME_NEWS: return AFX_INET_SERVICE_NEWS;
    default: break;
    }
    static const struct {
        const char* name;
        DWORD service;
    } others[] = {
        {"nntp", AFX_INET_SERVICE_NNTP},         {"telnet", AFX_INET_SERVICE_TELNET}, {"wais", AFX_INET_SERVICE_WAIS},
        {"prospero", AFX_INET_SERVICE_PROSPERO}, {"afs", AFX_INET_SERVICE_AFS},       {"mid", AFX_INET_SERVICE_MID},
        {"cid", AFX_INET_SERVICE_CID},
    };
    for (const auto& o : others)
        if (schemeName.CompareNoCase(o.name) == 0) return o.service;
    return AFX_INET_SERVICE_UNK;
}

// The port text of a URL's authority ("host:port"), without the user part
// and without an IPv6 address's own colons; FALSE when the URL names none.
BOOL FindPortText(LPCTSTR pstrURL, CString& rPort)
{
    const char* start = std::strstr(pstrURL, "://");
    if (!start) return FALSE;
    start += 3;
    const char* end = start + std::strcspn(start, "/?#");
    for (const char* p = start; p < end; ++p)
        if (*p == '@') start = p + 1;
    const char* host = start;
    if (*host == '[') {
        const char* close = static_cast<const char*>(std::memchr(host, ']', static_cast<size_t>(end - host)));
        if (close) host = close;
    }
    const char* colon = static_cast<const char*>(std::memchr(host, ':', static_cast<size_t>(end - host)));
    if (!colon) return FALSE;
    rPort = CString(colon + 1, static_cast<int>(end - colon - 1));
    return TRUE;
}

// A port the URL names must be one: the cracker wraps "70000" to 4464 and
// reads "abc" as no port at all, and either would reach another server.
BOOL IsValidPortText(const CString& strPort)
{
    if (strPort.IsEmpty()) return TRUE; // "host:" is the default port
    if (strPort.GetLength() > 5) return FALSE;
    long value = 0;
    for (int i = 0; i < strPort.GetLength(); ++i) {
        if (strPort[i] < '0' || strPort[i] > '9') return FALSE;
        value = value * 10 + (strPort[i] - '0');
    }
    return CwIsTcpPort(static_cast<int>(value));
}

INTERNET_PORT DefaultPortOf(DWORD dwService)
{
    switch (dwService) {
    case AFX_INET_SERVICE_HTTP: return INTERNET_DEFAULT_HTTP_PORT;
    case AFX_INET_SERVICE_HTTPS: return INTERNET_DEFAULT_HTTPS_PORT;
    case AFX_INET_SERVICE_FTP: return INTERNET_DEFAULT_FTP_PORT;
    case AFX_INET_SERVICE_GOPHER: return INTERNET_DEFAULT_GOPHER_PORT;
    default: return INTERNET_INVALID_PORT_NUMBER;
    }
}

} // namespace

BOOL AfxParseURL(LPCTSTR pstrURL, DWORD& dwServiceType, CString& strServer, CString& strObject, INTERNET_PORT& nPort)
{
    dwServiceType = AFX_INET_SERVICE_UNK;
    strServer.Empty();
    strObject.Empty();
    nPort = INTERNET_INVALID_PORT_NUMBER;
    if (!pstrURL || !*pstrURL) return FALSE;

    // InternetCrackUrlA fills the parts when given buffers; each part fits in
    // the URL's own length.
    DWORD len = static_cast<DWORD>(std::strlen(pstrURL));
    CString scheme, host, path, extra;
    URL_COMPONENTSA parts;
    std::memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme.GetBuffer(static_cast<int>(len));
    parts.dwSchemeLength = len + 1;
    parts.lpszHostName = host.GetBuffer(static_cast<int>(len));
    parts.dwHostNameLength = len + 1;
    parts.lpszUrlPath = path.GetBuffer(static_cast<int>(len));
    parts.dwUrlPathLength = len + 1;
    parts.lpszExtraInfo = extra.GetBuffer(static_cast<int>(len));
    parts.dwExtraInfoLength = len + 1;
    BOOL ok = InternetCrackUrlA(pstrURL, len, 0, &parts);
    scheme.ReleaseBuffer(ok ? static_cast<int>(parts.dwSchemeLength) : 0);
    host.ReleaseBuffer(ok ? static_cast<int>(parts.dwHostNameLength) : 0);
    path.ReleaseBuffer(ok ? static_cast<int>(parts.dwUrlPathLength) : 0);
    extra.ReleaseBuffer(ok ? static_cast<int>(parts.dwExtraInfoLength) : 0);
    if (!ok || host.IsEmpty()) return FALSE;
    CString strPortText;
    if (FindPortText(pstrURL, strPortText) && !IsValidPortText(strPortText)) return FALSE;

    dwServiceType = ServiceOf(parts.nScheme, scheme);
    strServer = host;
    strObject = path + extra;
    if (strObject.IsEmpty() || strObject[0] != '/') strObject = "/" + strObject;
    nPort = parts.nPort != INTERNET_INVALID_PORT_NUMBER ? parts.nPort : DefaultPortOf(dwServiceType);
    return TRUE;
}
