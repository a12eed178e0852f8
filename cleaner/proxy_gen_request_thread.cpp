// CProxyGenRequestThread: the proxy-generator request on its own thread.
#include "proxy_gen_request_thread.h"

#include "proxylist/download.h"

CProxyGenRequestThread::CProxyGenRequestThread(DWORD dwTimeout) : m_dwTimeout(dwTimeout)
{
}

CProxyGenRequestThread::~CProxyGenRequestThread()
{
    Stop();
}

BOOL CProxyGenRequestThread::Start(LPCTSTR pszServer)
{
    // The server text is read by the running thread: replace it only once
    // the previous request has ended.
    Stop();
    m_strServer = pszServer;
    return CWorkerThread::Start();
}

DWORD CProxyGenRequestThread::Run(void* pParam)
{
    RequestProxyGenPage(m_strServer, m_dwTimeout);
    return 0;
}
