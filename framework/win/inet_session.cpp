// CInternetSession, CInternetConnection and CHttpConnection over WinINet.
#include "inet_session.h"

#include "inet_file.h"

IMPLEMENT_DYNAMIC(CInternetSession, CObject)
IMPLEMENT_DYNAMIC(CInternetConnection, CObject)
IMPLEMENT_DYNAMIC(CHttpConnection, CInternetConnection)

namespace {

// The agent name a session gets when the caller names none: the program's
// file name without folder and extension, as the framework has always done.
CString DefaultAgentName()
{
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return CString("Cloakwall");
    CString name(path);
    int slash = name.ReverseFind('\\');
    if (slash >= 0) name = name.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    if (dot > 0) name = name.Left(dot);
    return name;
}

} // namespace

CInternetSession::CInternetSession(LPCTSTR pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType, LPCTSTR pstrProxyName,
                                   LPCTSTR pstrProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext)
{
    CString agent = pstrAgent ? CString(pstrAgent) : DefaultAgentName();
    m_hSession = InternetOpenA(agent, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags);
    if (!m_hSession) AfxThrowInternetException(m_dwContext);
}

CInternetSession::~CInternetSession()
{
    Close();
}

void CloseInternetHandle(HINTERNET& hInternet)
{
    if (!hInternet) return;
    InternetCloseHandle(hInternet);
    hInternet = nullptr;
}

void CInternetSession::Close()
{
    CloseInternetHandle(m_hSession);
}

BOOL CInternetSession::SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength)
{
    return InternetSetOptionA(m_hSession, dwOption, lpBuffer, dwBufferLength);
}

BOOL CInternetSession::QueryOption(DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) const
{
    return InternetQueryOptionA(m_hSession, dwOption, lpBuffer, lpdwBufferLength);
}

CHttpConnection* CInternetSession::GetHttpConnection(LPCTSTR pstrServer, DWORD dwFlags, INTERNET_PORT nPort,
                                                     LPCTSTR pstrUserName, LPCTSTR pstrPassword)
{
    return new CHttpConnection(this, pstrServer, dwFlags, nPort, pstrUserName, pstrPassword, m_dwContext);
}

CInternetConnection::CInternetConnection(CInternetSession* pSession, LPCTSTR pstrServer, INTERNET_PORT nPort,
                                         DWORD_PTR dwContext)
    : m_pSession(pSession), m_strServerName(pstrServer), m_nPort(nPort), m_dwContext(dwContext)
{
}

CInternetConnection::~CInternetConnection()
{
    Close();
}

void CInternetConnection::Close()
{
    CloseInternetHandle(m_hConnection);
}

BOOL CInternetConnection::SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength)
{
    return InternetSetOptionA(m_hConnection, dwOption, lpBuffer, dwBufferLength);
}

CHttpConnection::CHttpConnection(CInternetSession* pSession, LPCTSTR pstrServer, DWORD dwFlags, INTERNET_PORT nPort,
                                 LPCTSTR pstrUserName, LPCTSTR pstrPassword, DWORD_PTR dwContext)
    : CInternetConnection(pSession, pstrServer, nPort, dwContext)
{
    m_hConnection = InternetConnectA(*pSession, pstrServer, nPort, pstrUserName, pstrPassword, INTERNET_SERVICE_HTTP,
                                     dwFlags, dwContext);
    if (!m_hConnection) AfxThrowInternetException(dwContext);
}

CHttpFile* CHttpConnection::OpenRequest(LPCTSTR pstrVerb, LPCTSTR pstrObjectName, LPCTSTR pstrReferer,
                                        DWORD_PTR dwContext, LPCTSTR* ppstrAcceptTypes, LPCTSTR pstrVersion,
                                        DWORD dwFlags)
{
    HINTERNET hRequest = HttpOpenRequestA(m_hConnection, pstrVerb, pstrObjectName, pstrVersion, pstrReferer,
                                          ppstrAcceptTypes, dwFlags, dwContext);
    if (!hRequest) AfxThrowInternetException(dwContext);
    return new CHttpFile(hRequest, this, pstrObjectName, pstrVerb, dwContext);
}
