// AfxParseURL: splits a URL into its service, server, object and port.
#pragma once

#include "framework/core/cstring.h"

#include <windows.h>
#include <wininet.h>

enum : DWORD {
    AFX_INET_SERVICE_UNK = 0x1000,
    AFX_INET_SERVICE_FILE,
    AFX_INET_SERVICE_MAILTO,
    AFX_INET_SERVICE_MID,
    AFX_INET_SERVICE_CID,
    AFX_INET_SERVICE_NEWS,
    AFX_INET_SERVICE_NNTP,
    AFX_INET_SERVICE_PROSPERO,
    AFX_INET_SERVICE_TELNET,
    AFX_INET_SERVICE_WAIS,
    AFX_INET_SERVICE_AFS,
    AFX_INET_SERVICE_HTTPS,
    AFX_INET_SERVICE_FTP = INTERNET_SERVICE_FTP,
    AFX_INET_SERVICE_GOPHER = INTERNET_SERVICE_GOPHER,
    AFX_INET_SERVICE_HTTP = INTERNET_SERVICE_HTTP,
};

// Splits pstrURL ("http://server[:port]/object"). The port is the one the
// URL names, else the service's default (80 for HTTP, 443 for HTTPS). The
// object is at least "/". FALSE for a text that is not a URL with a scheme
// and a server; the outputs are then the service AFX_INET_SERVICE_UNK and
// empty texts.
BOOL AfxParseURL(LPCTSTR pstrURL, DWORD& dwServiceType, CString& strServer, CString& strObject, INTERNET_PORT& nPort);
