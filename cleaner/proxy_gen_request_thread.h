// CProxyGenRequestThread: one request of the vendor's proxy-generator page,
// made after each download of the proxy list. The answer is discarded.
//
// Every step of the request is bounded by a time-out, so that Stop (and a
// new Start while one still runs) waits at most that long for a server
// that never answers, instead of leaving the thread and its handles behind.
#pragma once

#include "framework/core/cstring.h"
#include "worker_thread.h"

class CProxyGenRequestThread : public CWorkerThread {
public:
    enum : DWORD { REQUEST_TIMEOUT_MS = 10000 };

    // dwTimeout bounds each of the request's connect, send and receive.
    explicit CProxyGenRequestThread(DWORD dwTimeout = REQUEST_TIMEOUT_MS);
    ~CProxyGenRequestThread() override;

    // Requests the page from pszServer (the UpdateServer text, "host" or
    // "host:port"), straight to it. A request still running is waited for
    // first. FALSE when no thread could be made.
    BOOL Start(LPCTSTR pszServer);

protected:
    // Returns 0 whatever the server did.
    DWORD Run(void* pParam) override;

private:
    using CWorkerThread::Start;

    CString m_strServer;
    const DWORD m_dwTimeout;
};
