// CHttpGet: session, connection and request of one GET, closed in order.
#include "http_get.h"

#include "framework/core/socket_api.h"
#include "upstream_fetch.h"

#include <atomic>

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

// A proxy session without a bypass list may let WinINet skip the proxy for
// loopback targets; a speed test of a proxy against a sample on this machine
// would then time the direct route. "<-loopback>" takes loopback off the
// list of names that go direct.
const char kNoBypass[] = "<-loopback>";

// Read by whichever thread makes a request.
std::atomic<DWORD> g_dwConnectMs{CHttpTimeouts().dwConnectMs};
std::atomic<DWORD> g_dwReceiveMs{CHttpTimeouts().dwReceiveMs};

// Any handle: session, connection or request.
template <class THandle>
void SetTimeouts(THandle& handle, const CHttpTimeouts& limits)
{
    const struct {
        DWORD dwOption;
        DWORD dwMs;
    } options[] = {
        {INTERNET_OPTION_CONNECT_TIMEOUT, limits.dwConnectMs},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, limits.dwReceiveMs},
        {INTERNET_OPTION_SEND_TIMEOUT, limits.dwReceiveMs},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, limits.dwReceiveMs},
        {INTERNET_OPTION_DATA_SEND_TIMEOUT, limits.dwReceiveMs},
    };
    for (const auto& option : options) {
        DWORD dwMs = option.dwMs;
        handle.SetOption(option.dwOption, &dwMs, sizeof dwMs);
    }
}

} // namespace

void SetHttpTimeouts(const CHttpTimeouts& timeouts)
{
    g_dwConnectMs = timeouts.dwConnectMs;
    g_dwReceiveMs = timeouts.dwReceiveMs;
}

CHttpTimeouts GetHttpTimeouts()
{
    CHttpTimeouts timeouts;
    timeouts.dwConnectMs = g_dwConnectMs;
    timeouts.dwReceiveMs = g_dwReceiveMs;
    return timeouts;
}

CHttpGet::~CHttpGet()
{
    if (m_pFile) m_pFile->Close();
    if (m_pConnection) m_pConnection->Close();
    if (m_pSession) m_pSession->Close();
}

BOOL CHttpGet::Send(LPCTSTR pszUrl, LPCTSTR pszProxy, LPCTSTR pszVersion)
{
    DWORD dwService = 0;
    CString strServer, strObject;
    INTERNET_PORT nPort = 0;
    if (!AfxParseURL(pszUrl, dwService, strServer, strObject, nPort) ||
        (dwService != AFX_INET_SERVICE_HTTP && dwService != AFX_INET_SERVICE_HTTPS))
        return FALSE;
    // Lists are published on https:// sites as often as on http:// ones.
    const DWORD dwSecure = dwService == AFX_INET_SERVICE_HTTPS ? INTERNET_FLAG_SECURE : 0;

    // Through a proxy the request looks like the browser's own, whose pages
    // the proxy carries; a direct download keeps the program's name.
    if (pszProxy)
        m_pSession.reset(new CInternetSession(BROWSER_USER_AGENT, 1, INTERNET_OPEN_TYPE_PROXY, pszProxy, kNoBypass, 0));
    else
        m_pSession.reset(new CInternetSession(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    // Set on the session first: Windows hands them down to its connections.
    // A caller's own bound (a thread that must stay stoppable) stands in for
    // the process-wide limits.
    CHttpTimeouts limits = GetHttpTimeouts();
    if (m_dwTimeout) limits.dwConnectMs = limits.dwReceiveMs = m_dwTimeout;
    if (m_pDeadline) {
        // WinINet's own lookup of the server has no bound at all. Through a
        // proxy the server's name is the proxy's business: looking it up
        // here would tell this network's resolver where the user goes, and
        // the limits below bound the request all the same.
        DWORD dwAddr = 0;
        if (!pszProxy && !ResolveIPv4Within(strServer, &dwAddr, *m_pDeadline)) {
            CheckDeadline();
            AfxThrowInternetException(0, ERROR_INTERNET_NAME_NOT_RESOLVED);
        }
        DWORD dwLeft = m_pDeadline->RemainingMs();
        if (dwLeft == 0) CheckDeadline();
        if (limits.dwConnectMs > dwLeft) limits.dwConnectMs = dwLeft;
        if (limits.dwReceiveMs > dwLeft) limits.dwReceiveMs = dwLeft;
    }
    SetTimeouts(*m_pSession, limits);
    // The URL's own port: a vendor server on "host:8081" is reached there.
    m_pConnection.reset(m_pSession->GetHttpConnection(strServer, INTERNET_FLAG_KEEP_CONNECTION, nPort));
    m_pFile.reset(
        m_pConnection->OpenRequest("GET", strObject, nullptr, 0, nullptr, pszVersion, kRequestFlags | dwSecure));
    // Wine takes the limits from neither the session nor the connection:
    // each handle gets them.
    SetTimeouts(*m_pConnection, limits);
    SetTimeouts(*m_pFile, limits);
    m_limits = limits;
    m_pFile->AddRequestHeaders(kCloseHeaders, HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    m_pFile->SendRequest();
    CheckDeadline();
    return TRUE;
}

void CHttpGet::CheckDeadline() const
{
    if (m_pDeadline && m_pDeadline->IsOver()) AfxThrowInternetException(0, ERROR_INTERNET_TIMEOUT);
}

UINT CHttpGet::ReadWithin(void* pBuffer, UINT nCount)
{
    if (!m_pFile) AfxThrowInternetException(0, ERROR_INVALID_HANDLE);
    if (!m_pDeadline) return m_pFile->Read(pBuffer, nCount);
    // A read of n bytes waits, in WinINet, until n bytes came or the answer
    // ended, however slowly they come; asking first what is there bounds
    // each wait by one receive.
    char* pOut = static_cast<char*>(pBuffer);
    UINT nTotal = 0;
    while (nTotal < nCount) {
        CheckDeadline();
        // Each wait gets what is left of the deadline now, not what was left
        // when the request went out: otherwise a read that starts late in
        // the job may wait that long again, past the deadline.
        DWORD dwLeft = m_pDeadline->RemainingMs();
        if (dwLeft < m_limits.dwReceiveMs) {
            m_limits.dwReceiveMs = dwLeft;
            SetTimeouts(*m_pFile, m_limits);
        }
        DWORD dwAvailable = 0;
        if (!InternetQueryDataAvailable(*m_pFile, &dwAvailable, 0, 0)) AfxThrowInternetException(0);
        CheckDeadline();
        if (dwAvailable == 0) break; // the end of the answer
        UINT nWant = nCount - nTotal;
        if (nWant > dwAvailable) nWant = dwAvailable;
        UINT nGot = m_pFile->Read(pOut + nTotal, nWant);
        if (nGot == 0) break;
        nTotal += nGot;
    }
    return nTotal;
}

DWORD CHttpGet::GetStatusCode() const
{
    DWORD dwStatus = 0;
    if (!m_pFile || !m_pFile->QueryInfoStatusCode(dwStatus)) return 0;
    return dwStatus;
}
