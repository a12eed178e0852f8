// CHttpGet: session, connection and request of one GET, closed in order.
#include "http_get.h"

namespace {

// Every download wants the server's current copy: a list served from the
// URL cache would undo an update, a cached sample would time the disk, and
// a privacy tool leaves no cache entries of its own behind.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

// Each request gets a connection of its own, on its own route, and leaves
// none behind: WinINet keeps idle connections in a pool per process, and
// Wine's pool is keyed by the target server alone, so a kept connection to
// the vendor's server would carry the next proxied request straight there
// (and one to a proxy would carry the next direct download through it).
const char kCloseHeaders[] = "Connection: close\r\nProxy-Connection: close\r\n";

const DWORD kTimeoutOptions[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                 INTERNET_OPTION_RECEIVE_TIMEOUT};

} // namespace

CHttpGet::~CHttpGet()
{
    if (m_pFile) m_pFile->Close();
    if (m_pConnection) m_pConnection->Close();
    if (m_pSession) m_pSession->Close();
}

BOOL CHttpGet::Send(LPCTSTR pszUrl, LPCTSTR pszProxy)
{
    DWORD dwService = 0;
    CString strServer, strObject;
    INTERNET_PORT nPort = 0;
    if (!AfxParseURL(pszUrl, dwService, strServer, strObject, nPort) || dwService != AFX_INET_SERVICE_HTTP)
        return FALSE;

    if (pszProxy)
        m_pSession.reset(new CInternetSession(nullptr, 1, INTERNET_OPEN_TYPE_PROXY, pszProxy, nullptr, 0));
    else
        m_pSession.reset(new CInternetSession(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    // On the session, which hands them to its requests on Windows, and on
    // the request itself, the only place Wine reads them: set on the session
    // alone, a request to a server that never answered blocked for minutes.
    for (DWORD dwOption : kTimeoutOptions)
        if (m_dwTimeout) m_pSession->SetOption(dwOption, &m_dwTimeout, sizeof m_dwTimeout);
    // The URL's own port: a vendor server on "host:8081" is reached there.
    m_pConnection.reset(m_pSession->GetHttpConnection(strServer, INTERNET_FLAG_KEEP_CONNECTION, nPort));
    m_pFile.reset(m_pConnection->OpenRequest("GET", strObject, nullptr, 0, nullptr, nullptr, kRequestFlags));
    for (DWORD dwOption : kTimeoutOptions)
        if (m_dwTimeout) m_pFile->SetOption(dwOption, &m_dwTimeout, sizeof m_dwTimeout);
    m_pFile->AddRequestHeaders(kCloseHeaders, HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    m_pFile->SendRequest();
    return TRUE;
}

DWORD CHttpGet::GetStatusCode() const
{
    DWORD dwStatus = 0;
    if (!m_pFile || !m_pFile->QueryInfoStatusCode(dwStatus)) return 0;
    return dwStatus;
}
