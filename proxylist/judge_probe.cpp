// The steps of one proxy's test, each taken when its socket is ready.
#include "judge_probe.h"

namespace {

// One buffer for every probe: the batch runs them all on one thread.
char g_buffer[16 * 1024];

} // namespace

CJudgeProbe::~CJudgeProbe()
{
    if (m_socket != NO_SOCKET) SockClose(m_socket);
}

void CJudgeProbe::Connect(DWORD dwAddr, WORD nPort, const CString& strRequest, double dNowMs)
{
    m_strOut = strRequest;
    m_dStartMs = dNowMs;
    m_socket = SockConnectIPv4Begin(dwAddr, nPort);
    m_eStep = m_socket == NO_SOCKET ? STEP_DONE : STEP_CONNECTING;
}

int CJudgeProbe::Want() const
{
    switch (m_eStep) {
    case STEP_CONNECTING: return SOCK_WANT_CONNECT;
    case STEP_HANDSHAKE:
    case STEP_SENDING: return SOCK_WANT_WRITE;
    case STEP_RECEIVING: return SOCK_WANT_READ;
    default: return 0;
    }
}

void CJudgeProbe::Fail()
{
    m_eStep = STEP_DONE;
}

void CJudgeProbe::OnReady(int nReady, double dNowMs)
{
    if (m_eStep == STEP_CONNECTING) {
        if (nReady & SOCK_READY_CONNECT_FAILED) return Fail();
        if (!(nReady & SOCK_READY_CONNECTED)) return;
        m_dConnectedMs = dNowMs;
        m_eStep = STEP_SENDING;
        // A fresh connection has room for a request this small: sent now,
        // it saves a wait.
        SendMore();
        return;
    }
    if (m_eStep == STEP_SENDING && (nReady & SOCK_READY_WRITE)) return SendMore();
    if (m_eStep == STEP_RECEIVING && (nReady & SOCK_READY_READ)) return ReceiveMore(dNowMs);
}

void CJudgeProbe::SendMore()
{
    while (m_nSent < m_strOut.GetLength()) {
        int n = SockSendSome(m_socket, m_strOut.GetString() + m_nSent, m_strOut.GetLength() - m_nSent);
        if (n == SOCK_NOTHING_YET) return;
        if (n <= 0) return Fail();
        m_nSent += n;
    }
    m_eStep = STEP_RECEIVING;
}

void CJudgeProbe::ReceiveMore(double dNowMs)
{
    // One receive per wake: a judge's answer mostly arrives whole, and under
    // Wine each further receive that finds nothing is one more round trip.
    int n = SockRecv(m_socket, g_buffer, sizeof g_buffer);
    if (n == SOCK_NOTHING_YET) return;
    if (n < 0) return Fail();
    if (n == 0) {
        m_bAnswered = m_answer.IsCompleteAtClose();
    } else {
        if (!m_answer.Add(g_buffer, n)) return Fail();
        if (!m_answer.IsComplete()) return;
        m_bAnswered = TRUE;
    }
    m_dEndMs = dNowMs;
    m_eStep = STEP_DONE;
}

void CJudgeProbe::Finish(const CJudgeBaseline& baseline, const CString& strMarker, CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    if (m_dConnectedMs > 0) rReport.nConnectMs = static_cast<int>(m_dConnectedMs - m_dStartMs) + 1;
    if (m_socket != NO_SOCKET) {
        SockClose(m_socket);
        m_socket = NO_SOCKET;
    }
    m_eStep = STEP_DONE;
    if (!m_bAnswered) {
        rReport.eGrade = PROXY_GRADE_DEAD;
        return;
    }
    rReport.nResponseMs = static_cast<int>(m_dEndMs - m_dConnectedMs) + 1;
    rReport.dKBPerSec = m_answer.Bytes() / 1024.0 / (rReport.nResponseMs / 1000.0);
    rReport.eGrade =
        GradeProxiedAnswer(baseline.answer, m_answer.Status(), m_answer.Body(), strMarker, rReport.strGiveaways);
}
