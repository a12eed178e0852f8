// The steps of one proxy's test, each taken when its socket is ready.
#include "judge_probe.h"

#include "pending_send.h"
#include "upstream_fetch.h"

namespace {

// One buffer for every probe: the batch runs them all on one thread.
char g_buffer[16 * 1024];

// No host in the request line and no Host header: nobody for the proxy to
// pass it on to.
const char kHello[] = "GET / HTTP/1.0\r\n\r\n";

} // namespace

CJudgeProbe::~CJudgeProbe()
{
    if (m_socket != NO_SOCKET) SockClose(m_socket);
}

void CJudgeProbe::UseSocks(ESocksVersion eVersion, const CString& strHost, WORD nPort, const CString& strUser,
                           const CString& strPassword)
{
    m_pSocks.reset(new CSocksHandshake);
    m_strPending.clear();
    if (m_pSocks->Start(eVersion, strHost, nPort, strUser, strPassword, m_strPending) == CSocksHandshake::FAILED)
        m_bSocksFailed = TRUE;
}

void CJudgeProbe::Connect(DWORD dwAddr, WORD nPort, double dNowMs, BOOL bHelloFirst)
{
    m_dwAddr = dwAddr;
    m_nPort = nPort;
    m_bHello = bHelloFirst;
    m_dStartMs = dNowMs;
    m_socket = SockConnectIPv4Begin(dwAddr, nPort);
    m_eStep = m_socket == NO_SOCKET ? STEP_DONE : STEP_CONNECTING;
}

void CJudgeProbe::Ask(const CString& strRequest, double dNowMs)
{
    if (m_eStep != STEP_CONNECTED) return;
    // The wait for a judge's turn is the batch's, not the proxy's: its
    // figures run as if the request had followed the connect at once.
    double dHeldMs = dNowMs - m_dConnectedMs;
    m_dStartMs += dHeldMs;
    m_dConnectedMs += dHeldMs;
    m_strRequest = strRequest;
    if (m_bSocksFailed) return Fail();
    if (!m_pSocks) return StartRequest(dNowMs);
    m_eStep = STEP_HANDSHAKE;
    m_nSent = 0;
    Flush();
}

int CJudgeProbe::Want() const
{
    BOOL bUnsent = m_nSent < m_strPending.size();
    switch (m_eStep) {
    case STEP_CONNECTING: return SOCK_WANT_CONNECT;
    case STEP_HELLO: return bUnsent ? SOCK_WANT_WRITE : SOCK_WANT_READ;
    case STEP_HANDSHAKE: return bUnsent ? SOCK_WANT_WRITE : SOCK_WANT_READ;
    case STEP_SENDING: return SOCK_WANT_WRITE;
    case STEP_RECEIVING: return SOCK_WANT_READ;
    default: return 0;
    }
}

BOOL CJudgeProbe::Flush()
{
    EPendingSend eSent = SendPending(m_socket, m_strPending, m_nSent);
    if (eSent == PENDING_FAILED) Fail();
    return eSent == PENDING_SENT;
}

void CJudgeProbe::StartRequest(double dNowMs)
{
    m_eStep = STEP_SENDING;
    m_dRequestMs = dNowMs;
    m_strPending.assign(m_strRequest.GetString(), static_cast<size_t>(m_strRequest.GetLength()));
    m_nSent = 0;
    // A fresh connection has room for a request this small: sent now, it
    // saves a wait.
    if (Flush()) m_eStep = STEP_RECEIVING;
}

void CJudgeProbe::OnReady(int nReady, double dNowMs)
{
    switch (m_eStep) {
    case STEP_CONNECTING:
        if (nReady & SOCK_READY_CONNECT_FAILED) return Fail();
        if (!(nReady & SOCK_READY_CONNECTED)) return;
        m_dConnectedMs = dNowMs;
        if (m_bHello) {
            m_eStep = STEP_HELLO;
            m_strPending = kHello;
            m_nSent = 0;
            Flush();
            return;
        }
        m_eStep = STEP_CONNECTED;
        return;
    case STEP_HELLO:
        if (nReady & SOCK_READY_WRITE) return (void)Flush();
        if (nReady & SOCK_READY_READ) ReceiveHello(dNowMs);
        return;
    case STEP_HANDSHAKE:
        // One of the two: a greeting still going out is not answered yet,
        // and one whose send failed is over.
        if (m_nSent < m_strPending.size()) {
            if (nReady & SOCK_READY_WRITE) Flush();
            return;
        }
        if (nReady & SOCK_READY_READ) ReceiveGreeting(dNowMs);
        return;
    case STEP_SENDING:
        if ((nReady & SOCK_READY_WRITE) && Flush()) m_eStep = STEP_RECEIVING;
        return;
    case STEP_RECEIVING:
        if (nReady & SOCK_READY_READ) ReceiveAnswer(dNowMs);
        return;
    default: return;
    }
}

void CJudgeProbe::ReceiveHello(double dNowMs)
{
    int n = SockRecv(m_socket, g_buffer, sizeof g_buffer);
    if (n == SOCK_NOTHING_YET) return;
    // A close without a word is no proxy's answer.
    if (n <= 0) return Fail();
    // Any answer will do; the proxy most likely closes after it anyway, so
    // the judge's request goes on a connection of its own, timed from its
    // own connect.
    SockClose(m_socket);
    m_bHello = FALSE;
    m_strPending.clear();
    m_nSent = 0;
    m_dConnectedMs = 0;
    m_dStartMs = dNowMs;
    m_socket = SockConnectIPv4Begin(m_dwAddr, m_nPort);
    m_eStep = m_socket == NO_SOCKET ? STEP_DONE : STEP_CONNECTING;
}

void CJudgeProbe::ReceiveGreeting(double dNowMs)
{
    // No more than the step needs: what follows the reply is the tunnel's.
    int nWant = m_pSocks->BytesWanted();
    if (nWant > static_cast<int>(sizeof g_buffer)) nWant = static_cast<int>(sizeof g_buffer);
    int n = SockRecv(m_socket, g_buffer, nWant);
    if (n == SOCK_NOTHING_YET) return;
    CSocksHandshake::EStatus eStatus;
    std::string strOut;
    if (n <= 0) {
        eStatus = m_pSocks->Closed();
    } else {
        int nUsed = 0;
        eStatus = m_pSocks->Feed(g_buffer, n, &nUsed, strOut);
    }
    if (eStatus == CSocksHandshake::FAILED) {
        m_bSocksFailed = TRUE;
        return Fail();
    }
    if (eStatus == CSocksHandshake::DONE) return StartRequest(dNowMs);
    if (!strOut.empty()) {
        m_strPending = strOut;
        m_nSent = 0;
        Flush();
    }
}

void CJudgeProbe::ReceiveAnswer(double dNowMs)
{
    // One receive per wake: a judge's answer mostly arrives whole, and under
    // Wine each further receive that finds nothing is one more round trip.
    int n = SockRecv(m_socket, g_buffer, sizeof g_buffer);
    if (n == SOCK_NOTHING_YET) return;
    if (n < 0) return Fail();
    if (n == 0) {
        m_bAnswered = m_answer.IsCompleteAtClose();
    } else {
        if (m_dFirstByteMs == 0) m_dFirstByteMs = dNowMs;
        if (!m_answer.Add(g_buffer, n)) return Fail();
        if (!m_answer.IsComplete()) return;
        m_bAnswered = TRUE;
    }
    m_dEndMs = dNowMs;
    m_eStep = STEP_DONE;
}

void CJudgeProbe::Finish(const CUpstreamConfig& route, const CString& strMarker, CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    if (m_dConnectedMs > 0) rReport.nConnectMs = static_cast<int>(m_dConnectedMs - m_dStartMs) + 1;
    if (m_bSocksFailed && m_pSocks) rReport.strFailure = SocksErrorText(m_pSocks->Error());
    if (m_socket != NO_SOCKET) {
        SockClose(m_socket);
        m_socket = NO_SOCKET;
    }
    m_eStep = STEP_DONE;
    if (!m_bAnswered) {
        rReport.eGrade = PROXY_GRADE_DEAD;
        return;
    }
    // Its own connect to the first byte: the time it waited for a place in
    // the batch is not the proxy's.
    rReport.nResponseMs = static_cast<int>(m_dFirstByteMs - m_dStartMs) + 1;
    rReport.dKBPerSec = SpeedOfSample(m_answer.Bytes(), m_dEndMs - m_dRequestMs);
    if (m_answer.Status() == 407) rReport.strFailure = AccountRefusalText(route);
    rReport.eGrade = GradeProxiedAnswer(m_answer.Status(), m_answer.Body(), strMarker, rReport.strGiveaways);
}
