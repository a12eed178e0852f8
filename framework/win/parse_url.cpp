// AfxParseURL over InternetCrackUrlA, which knows every scheme WinINet knows.
#include "parse_url.h"

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
        {"nntp", AFX_INET_SERVICE_NNTP}, {"telnet", AFX_INET_SERVICE_TELNET}, {"wais", AFX_INET_SERVICE_WAIS},
        {"prospero", AFX_INET_SERVICE_PROSPERO}, {"afs", AFX_INET_SERVICE_AFS}, {"mid", AFX_INET_SERVICE_MID},
        {"cid", AFX_INET_SERVICE_CID},
    };
    for (const auto& o : others)
        if (schemeName.CompareNoCase(o.name) == 0) return o.service;
    return AFX_INET_SERVICE_UNK;
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

    dwServiceType = ServiceOf(parts.nScheme, scheme);
    strServer = host;
    strObject = path + extra;
    if (strObject.IsEmpty() || strObject[0] != '/') strObject = "/" + strObject;
    nPort = parts.nPort;
    return TRUE;
}
