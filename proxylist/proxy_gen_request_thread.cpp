// CProxyGenRequestThread: the proxy-generator request as a network job.
#include "proxy_gen_request_thread.h"

#include "download.h"

CProxyGenRequestThread::CProxyGenRequestThread(DWORD dwTimeout) : m_dwTimeout(dwTimeout)
{
}

CProxyGenRequestThread::~CProxyGenRequestThread()
{
    Stop();
}

BOOL CProxyGenRequestThread::Start(LPCTSTR pszServer)
{
    Stop();
    m_dwExitCode = EXIT_CODE_NONE;
    // The thread gets its own copy of the server text: the object may be
    // gone, or started again, before the request ends.
    CString strServer(pszServer);
    DWORD dwTimeout = m_dwTimeout;
    return m_job.Start(dwTimeout, [strServer, dwTimeout](const CNetDeadline& deadline) {
        RequestProxyGenPage(strServer, dwTimeout, &deadline);
    });
}

void CProxyGenRequestThread::Stop()
{
    if (!m_job.GetSerial()) return;
    m_job.Cancel(STOP_WAIT_MS);
    m_dwExitCode = 0;
}
