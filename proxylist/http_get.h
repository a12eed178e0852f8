// One HTTP GET through the framework's internet classes, on a route the
// caller chooses: straight to the server, or through a named proxy. The
// route is fixed when the session opens, because a proxy set on an open
// session is not honoured everywhere (Wine refuses it and goes direct).
#pragma once

#include "framework/win/internet.h"
#include "net_deadline.h"

#include <memory>

// Time limits of every request made here, in milliseconds: the connect, and
// each receive and send after it. Without them a server that accepts and
// never answers holds the caller (and the dialog waiting on it) for as long
// as the system's own limits allow. The program keeps the defaults; a test
// that meets a silent peer on purpose sets short ones.
struct CHttpTimeouts {
    DWORD dwConnectMs = 15000;
    DWORD dwReceiveMs = 30000;
};
void SetHttpTimeouts(const CHttpTimeouts& timeouts);
CHttpTimeouts GetHttpTimeouts();

class CHttpGet {
public:
    CHttpGet() = default;
    // Closes the request, then the connection, then the session.
    ~CHttpGet();
    CHttpGet(const CHttpGet&) = delete;
    CHttpGet& operator=(const CHttpGet&) = delete;

    // Sends "GET" for an http:// or https:// URL, to the port the URL names
    // (80 or 443 when it names none). pszProxy NULL goes direct, else through that "host:port"
    // proxy, with a browser's User-Agent. FALSE for any other URL; throws
    // CInternetException when the request cannot be sent or a time limit
    // of GetHttpTimeouts passes.
    // pszVersion names the request's HTTP version ("HTTP/1.0"); NULL is
    // WinINet's own, HTTP/1.1.
    BOOL Send(LPCTSTR pszUrl, LPCTSTR pszProxy, LPCTSTR pszVersion = nullptr);

    // Bounds the connect, the send and each receive of the next Send and of
    // the reads after it to dwMilliseconds; 0 (the default) leaves WinINet's
    // own limits. A thread that must be stoppable cannot wait on a server
    // that accepted the connection and never answers.
    void SetTimeout(DWORD dwMilliseconds) { m_dwTimeout = dwMilliseconds; }

    // Bounds the whole request by a job's deadline (the caller keeps it):
    // going direct, the server's name is looked up within it before WinINet
    // asks for it again (and finds it in the system's cache); through a
    // proxy it is never looked up here. Every limit above is cut
    // to the time left, and Send and ReadWithin throw a time-out once it
    // has passed or the job was cancelled.
    void SetDeadline(const CNetDeadline* pDeadline) { m_pDeadline = pDeadline; }

    // Reads up to nCount bytes of the answer, fewer only at its end. With
    // a deadline it waits in steps (for what the server has sent so far,
    // then takes that), so a server that trickles a byte now and then
    // cannot stretch one read past the deadline. Throws CInternetException.
    UINT ReadWithin(void* pBuffer, UINT nCount);

    // The answer's status code, 0 when there is none.
    DWORD GetStatusCode() const;
    CHttpFile* GetFile() const { return m_pFile.get(); }
    CInternetSession* GetSession() const { return m_pSession.get(); }

private:
    // Throws a time-out when the deadline has passed.
    void CheckDeadline() const;

    DWORD m_dwTimeout = 0;
    const CNetDeadline* m_pDeadline = nullptr;
    CHttpTimeouts m_limits; // the limits the request's handles have now
    std::unique_ptr<CInternetSession> m_pSession;
    std::unique_ptr<CHttpConnection> m_pConnection;
    std::unique_ptr<CHttpFile> m_pFile;
};
