// CInternetSession and CHttpConnection: the framework's WinINet session and
// server connection. Objects returned by pointer belong to the caller, who
// closes and deletes them, requests before connections before the session.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/object.h"
#include "inet_exception.h"

#include <windows.h>
#include <wininet.h>

class CHttpConnection;
class CHttpFile;

// Closes a session, connection or request handle once: it is NULL afterwards.
void CloseInternetHandle(HINTERNET& hInternet);

class CInternetSession : public CObject {
    DECLARE_DYNAMIC(CInternetSession)
public:
    // Opens the session at once (InternetOpenA); throws CInternetException
    // when that fails. A null agent is the program's file name. The access
    // type decides the route of every request of the session:
    // INTERNET_OPEN_TYPE_PRECONFIG (the system's settings), _DIRECT, or
    // _PROXY with pstrProxyName such as "host:port".
    explicit CInternetSession(LPCTSTR pstrAgent = nullptr, DWORD_PTR dwContext = 1,
                              DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG, LPCTSTR pstrProxyName = nullptr,
                              LPCTSTR pstrProxyBypass = nullptr, DWORD dwFlags = 0);
    ~CInternetSession() override;
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Options of the open session. Note that some WinINet versions refuse
    // INTERNET_OPTION_PROXY on an open session (Wine: error 12009) and then
    // go direct: choose the route with the access type instead.
    BOOL SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
    BOOL QueryOption(DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) const;

    // A connection to an HTTP server; port 0 (INTERNET_INVALID_PORT_NUMBER)
    // is the default port of the service. Throws CInternetException.
    CHttpConnection* GetHttpConnection(LPCTSTR pstrServer, DWORD dwFlags,
                                       INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                                       LPCTSTR pstrUserName = nullptr, LPCTSTR pstrPassword = nullptr);

    virtual void Close();

    operator HINTERNET() const { return m_hSession; }
    DWORD_PTR GetContext() const { return m_dwContext; }

private:
    HINTERNET m_hSession = nullptr;
    DWORD_PTR m_dwContext;
};

// A connection handle of a session: the server the requests go to.
class CInternetConnection : public CObject {
    DECLARE_DYNAMIC(CInternetConnection)
public:
    ~CInternetConnection() override;
    CInternetConnection(const CInternetConnection&) = delete;
    CInternetConnection& operator=(const CInternetConnection&) = delete;

    virtual void Close();
    BOOL SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);

    operator HINTERNET() const { return m_hConnection; }
    CInternetSession* GetSession() const { return m_pSession; }
    CString GetServerName() const { return m_strServerName; }
    INTERNET_PORT GetPort() const { return m_nPort; }
    DWORD_PTR GetContext() const { return m_dwContext; }

protected:
    CInternetConnection(CInternetSession* pSession, LPCTSTR pstrServer, INTERNET_PORT nPort, DWORD_PTR dwContext);

    HINTERNET m_hConnection = nullptr;
    CInternetSession* m_pSession;
    CString m_strServerName;
    INTERNET_PORT m_nPort;
    DWORD_PTR m_dwContext;
};

class CHttpConnection : public CInternetConnection {
    DECLARE_DYNAMIC(CHttpConnection)
public:
    // Connects (InternetConnectA with the HTTP service); throws on failure.
    CHttpConnection(CInternetSession* pSession, LPCTSTR pstrServer, DWORD dwFlags,
                    INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER, LPCTSTR pstrUserName = nullptr,
                    LPCTSTR pstrPassword = nullptr, DWORD_PTR dwContext = 1);

    // A request on this connection (HttpOpenRequestA); throws on failure.
    // Nothing is sent before CHttpFile::SendRequest.
    CHttpFile* OpenRequest(LPCTSTR pstrVerb, LPCTSTR pstrObjectName, LPCTSTR pstrReferer = nullptr,
                           DWORD_PTR dwContext = 1, LPCTSTR* ppstrAcceptTypes = nullptr, LPCTSTR pstrVersion = nullptr,
                           DWORD dwFlags = INTERNET_FLAG_EXISTING_CONNECT);
};
