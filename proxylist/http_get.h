// One HTTP GET through the framework's internet classes, on a route the
// caller chooses: straight to the server, or through a named proxy. The
// route is fixed when the session opens, because a proxy set on an open
// session is not honoured everywhere (Wine refuses it and goes direct).
#pragma once

#include "framework/win/internet.h"

#include <memory>

class CHttpGet {
public:
    CHttpGet() = default;
    // Closes the request, then the connection, then the session.
    ~CHttpGet();
    CHttpGet(const CHttpGet&) = delete;
    CHttpGet& operator=(const CHttpGet&) = delete;

    // Sends "GET" for an http:// URL, to the port the URL names (80 when it
    // names none). pszProxy NULL goes direct, else through that "host:port"
    // proxy. FALSE when the URL is not an http:// URL; throws
    // CInternetException when the request cannot be sent.
    BOOL Send(LPCTSTR pszUrl, LPCTSTR pszProxy);

    // Bounds the connect, the send and each receive of the next Send and of
    // the reads after it to dwMilliseconds; 0 (the default) leaves WinINet's
    // own limits. A thread that must be stoppable cannot wait on a server
    // that accepted the connection and never answers.
    void SetTimeout(DWORD dwMilliseconds) { m_dwTimeout = dwMilliseconds; }

    // The answer's status code, 0 when there is none.
    DWORD GetStatusCode() const;
    CHttpFile* GetFile() const { return m_pFile.get(); }

private:
    DWORD m_dwTimeout = 0;
    std::unique_ptr<CInternetSession> m_pSession;
    std::unique_ptr<CHttpConnection> m_pConnection;
    std::unique_ptr<CHttpFile> m_pFile;
};
