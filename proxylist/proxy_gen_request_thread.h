// CProxyGenRequestThread: one request of the vendor's proxy-generator page,
// made after each download of the proxy list, on a thread of its own. The
// answer is discarded.
//
// The request has one deadline for the whole of it, and its owner never
// waits for it without a bound: Stop (and a new Start) cancels a request
// still running, waits a moment for its end and then lets go of it, so Exit
// is never held by a server that trickles its answer.
#pragma once

#include "framework/core/cstring.h"
#include "net_job.h"

class CProxyGenRequestThread {
public:
    enum : DWORD {
        REQUEST_TIMEOUT_MS = 10000, // the whole request, by default
        STOP_WAIT_MS = 200,         // how long Stop waits before letting go
        EXIT_CODE_NONE = 0xFFFFFFFF,
    };

    // dwTimeout bounds the whole request: its lookup, connect, send and
    // every receive together.
    explicit CProxyGenRequestThread(DWORD dwTimeout = REQUEST_TIMEOUT_MS);
    ~CProxyGenRequestThread(); // Stop
    CProxyGenRequestThread(const CProxyGenRequestThread&) = delete;
    CProxyGenRequestThread& operator=(const CProxyGenRequestThread&) = delete;

    // Requests the page from pszServer (the UpdateServer text, "host" or
    // "host:port"), straight to it. A request still running is stopped
    // first. FALSE when no thread could be made.
    BOOL Start(LPCTSTR pszServer);
    // Cancels the request, waits up to STOP_WAIT_MS for its end and lets go
    // of it. Nothing when none runs.
    void Stop();
    BOOL IsRunning() const { return m_job.IsRunning(); }
    // EXIT_CODE_NONE from a start until the Stop after it; then 0, whatever
    // the server did.
    DWORD GetExitCode() const { return m_dwExitCode; }

private:
    CNetJob m_job;
    const DWORD m_dwTimeout;
    DWORD m_dwExitCode = EXIT_CODE_NONE;
};
