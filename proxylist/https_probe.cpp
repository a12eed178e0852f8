// The steps of a tunnel's test, each taken when its socket is ready, and
// the blocking loop that drives them for the test of one entry.
#include "https_probe.h"

#include "pending_send.h"
#include "proxy/local_proxy_server.h"

#include <cstdlib>

namespace {

// One buffer for every probe of a thread: the batch runs them all on one.
thread_local char t_buffer[16 * 1024];

// Longer than any proxy's answer to CONNECT: past it, it is no proxy.
const size_t kMaxTunnelHead = 8 * 1024;

// How often the blocking test looks at its bound while nothing comes.
const int kPollMs = 100;

} // namespace

BOOL FindHttpsJudge(LPCTSTR pszJudgeUrls, CJudgeTarget& rJudge)
{
    for (const CString& strUrl : SplitJudgeUrls(pszJudgeUrls)) {
        if (strUrl.Left(8).CompareNoCase("https://") != 0) continue;
        // The same split as a plain URL's, with the scheme's own port.
        CString strHost, strHostPort, strPath;
        WORD nPort = 0;
        if (!SplitHttpUrl("http://" + strUrl.Mid(8), strHost, nPort, strHostPort, strPath)) continue;
        rJudge = CJudgeTarget();
        rJudge.strHost = strHost;
        rJudge.strHostPort = strHostPort;
        rJudge.strPath = strPath;
        rJudge.nPort = strHostPort.Find(':') < 0 ? 443 : nPort;
        return TRUE;
    }
    return FALSE;
}

CHttpsProbe::~CHttpsProbe()
{
    if (m_socket != NO_SOCKET) SockClose(m_socket);
}

void CHttpsProbe::Connect(const CUpstreamConfig& upstream, DWORD dwAddr, const CJudgeTarget& judge,
                          const CString& strMarker)
{
    m_strHost = judge.strHost;
    m_strMarker = strMarker;
    // Inside the tunnel the judge is the server itself: the path form.
    m_strRequest = BuildJudgeRequest(judge, CUpstreamConfig(), strMarker);
    m_strPending.clear();
    m_nSent = 0;
    if (upstream.IsSocks()) {
        m_pSocks.reset(new CSocksHandshake);
        if (m_pSocks->Start(upstream.eKind == UPSTREAM_SOCKS4A ? SOCKS_V4A : SOCKS_V5, judge.strHost, judge.nPort,
                            upstream.strProxyUser, upstream.strProxyPassword, m_strPending) == CSocksHandshake::FAILED)
            return Fail();
    } else {
        CString strTarget;
        strTarget.Format("%s:%u", judge.strHost.GetString(), static_cast<unsigned>(judge.nPort));
        CString strConnect = "CONNECT " + strTarget + " HTTP/1.1\r\nHost: " + strTarget + "\r\n";
        // The account browsing will use: a proxy that wants one refuses
        // tunnels without it.
        if (!upstream.strProxyUser.IsEmpty())
            strConnect += BuildProxyAuthHeader(upstream.strProxyUser, upstream.strProxyPassword);
        strConnect += "\r\n";
        m_strPending.assign(strConnect.GetString(), static_cast<size_t>(strConnect.GetLength()));
    }
    m_socket = SockConnectIPv4Begin(dwAddr, upstream.nUpstreamPort);
    m_eStep = m_socket == NO_SOCKET ? STEP_DONE : STEP_CONNECTING;
}

int CHttpsProbe::Want() const
{
    BOOL bUnsent = m_nSent < m_strPending.size();
    switch (m_eStep) {
    case STEP_CONNECTING: return SOCK_WANT_CONNECT;
    case STEP_TUNNEL:
    case STEP_HANDSHAKE:
    case STEP_SENDING: return bUnsent ? SOCK_WANT_WRITE : SOCK_WANT_READ;
    case STEP_RECEIVING: return SOCK_WANT_READ;
    default: return 0;
    }
}

void CHttpsProbe::Queue(const std::string& strBytes)
{
    if (m_nSent >= m_strPending.size()) {
        m_strPending.clear();
        m_nSent = 0;
    }
    m_strPending += strBytes;
    Flush();
}

BOOL CHttpsProbe::Flush()
{
    EPendingSend eSent = SendPending(m_socket, m_strPending, m_nSent);
    if (eSent == PENDING_FAILED) Fail();
    return eSent == PENDING_SENT;
}

void CHttpsProbe::OnReady(int nReady)
{
    switch (m_eStep) {
    case STEP_CONNECTING:
        if (nReady & SOCK_READY_CONNECT_FAILED) return Fail();
        if (!(nReady & SOCK_READY_CONNECTED)) return;
        m_eStep = STEP_TUNNEL;
        Flush();
        return;
    case STEP_TUNNEL:
        if (nReady & SOCK_READY_WRITE) Flush();
        if (nReady & SOCK_READY_READ) ReceiveTunnel();
        return;
    case STEP_HANDSHAKE:
        if (nReady & SOCK_READY_WRITE) Flush();
        if (nReady & SOCK_READY_READ) ReceiveTls();
        return;
    case STEP_SENDING:
        if ((nReady & SOCK_READY_WRITE) && Flush()) m_eStep = STEP_RECEIVING;
        if (nReady & SOCK_READY_READ) ReceiveAnswer();
        return;
    case STEP_RECEIVING:
        if (nReady & SOCK_READY_READ) ReceiveAnswer();
        return;
    default: return;
    }
}

void CHttpsProbe::ReceiveTunnel()
{
    // No more than the step needs: what follows belongs to the TLS session.
    int nWant = m_pSocks ? m_pSocks->BytesWanted() : static_cast<int>(sizeof t_buffer);
    if (nWant > static_cast<int>(sizeof t_buffer)) nWant = static_cast<int>(sizeof t_buffer);
    int n = SockRecv(m_socket, t_buffer, nWant);
    if (n == SOCK_NOTHING_YET) return;
    if (!m_pSocks) {
        if (n <= 0) return Fail();
        return TakeTunnelAnswer(t_buffer, n);
    }
    std::string strOut;
    CSocksHandshake::EStatus eStatus;
    if (n <= 0) {
        eStatus = m_pSocks->Closed();
    } else {
        int nUsed = 0;
        eStatus = m_pSocks->Feed(t_buffer, n, &nUsed, strOut);
    }
    if (eStatus == CSocksHandshake::FAILED) return Fail();
    if (!strOut.empty()) Queue(strOut);
    if (eStatus == CSocksHandshake::DONE) StartTls();
}

void CHttpsProbe::TakeTunnelAnswer(const char* pData, int nLength)
{
    m_strTunnelHead.append(pData, static_cast<size_t>(nLength));
    size_t nEnd = m_strTunnelHead.find("\r\n\r\n");
    if (nEnd == std::string::npos) {
        if (m_strTunnelHead.size() > kMaxTunnelHead) Fail();
        return;
    }
    // "HTTP/1.x 200 ...": any other status is a refusal (405, 403, 407...).
    size_t nSpace = m_strTunnelHead.find(' ');
    if (m_strTunnelHead.compare(0, 5, "HTTP/") != 0 || nSpace == std::string::npos ||
        std::atoi(m_strTunnelHead.c_str() + nSpace + 1) != 200)
        return Fail();
    std::string strRest = m_strTunnelHead.substr(nEnd + 4);
    StartTls();
    // A server speaks after the client's hello; bytes here would be a
    // proxy's own, and the handshake will say what they are worth.
    if (m_eStep == STEP_HANDSHAKE && !strRest.empty()) {
        std::string strOut;
        if (m_tls.Feed(strRest.data(), static_cast<int>(strRest.size()), strOut) == CTlsClient::TLS_FAILED)
            return Fail();
        if (!strOut.empty()) Queue(strOut);
    }
}

void CHttpsProbe::StartTls()
{
    m_eStep = STEP_HANDSHAKE;
    std::string strOut;
    if (m_tls.Start(m_strHost, strOut) == CTlsClient::TLS_FAILED) return Fail();
    Queue(strOut);
}

void CHttpsProbe::ReceiveTls()
{
    int n = SockRecv(m_socket, t_buffer, sizeof t_buffer);
    if (n == SOCK_NOTHING_YET) return;
    if (n <= 0) return Fail();
    std::string strOut;
    CTlsClient::EStatus eStatus = m_tls.Feed(t_buffer, n, strOut);
    if (!strOut.empty()) Queue(strOut);
    if (eStatus == CTlsClient::TLS_FAILED) return Fail();
    if (eStatus != CTlsClient::TLS_DONE) return;
    m_eVerdict = m_tls.CheckCertificate();
    // A certificate that is not the judge's: whoever answered can read the
    // session, so the request (and its marker) is not sent into it.
    if (m_eVerdict != CTlsClient::CERT_VERIFIED) return Fail();
    std::string strRequest(m_strRequest.GetString(), static_cast<size_t>(m_strRequest.GetLength()));
    std::string strRecords;
    if (!m_tls.Encrypt(strRequest, strRecords)) return Fail();
    m_eStep = STEP_SENDING;
    Queue(strRecords);
    if (m_eStep == STEP_SENDING && m_nSent >= m_strPending.size()) m_eStep = STEP_RECEIVING;
    // Records that came with the handshake's last flight.
    if (m_eStep == STEP_RECEIVING) {
        std::string strPlain;
        CTlsClient::EStatus eData = m_tls.Decrypt(nullptr, 0, strPlain);
        if (!strPlain.empty() && !m_answer.Add(strPlain.data(), static_cast<int>(strPlain.size()))) return Fail();
        if (eData == CTlsClient::TLS_FAILED) return Fail();
    }
}

void CHttpsProbe::ReceiveAnswer()
{
    int n = SockRecv(m_socket, t_buffer, sizeof t_buffer);
    if (n == SOCK_NOTHING_YET) return;
    if (n < 0) return Fail();
    std::string strPlain;
    CTlsClient::EStatus eStatus = n == 0 ? CTlsClient::TLS_DONE : m_tls.Decrypt(t_buffer, n, strPlain);
    if (!strPlain.empty() && !m_answer.Add(strPlain.data(), static_cast<int>(strPlain.size()))) return Fail();
    if (eStatus == CTlsClient::TLS_FAILED) return Fail();
    if (m_answer.IsComplete() || (eStatus == CTlsClient::TLS_DONE && m_answer.IsCompleteAtClose())) {
        m_bAnswered = TRUE;
        m_eStep = STEP_DONE;
    } else if (eStatus == CTlsClient::TLS_DONE) {
        Fail();
    }
}

EHttpsOutcome CHttpsProbe::Outcome() const
{
    if (m_eVerdict == CTlsClient::CERT_REJECTED) return HTTPS_TAMPERED;
    return m_bAnswered ? HTTPS_CARRIED : HTTPS_NONE;
}

void CHttpsProbe::Finish(CProxyGradeReport& rReport)
{
    if (m_socket != NO_SOCKET) {
        SockClose(m_socket);
        m_socket = NO_SOCKET;
    }
    m_eStep = STEP_DONE;
    if (rReport.eGrade <= PROXY_GRADE_DEAD) return;
    rReport.eHttps = Outcome();
    if (rReport.eHttps != HTTPS_CARRIED) return;
    // A verified session: the proxy saw only the judge's name, yet what the
    // judge saw of the request still tells whether the proxy gave the user
    // away on the way there (its own address, a header it could not add).
    CString strGiveaways;
    EProxyGrade eGrade = GradeProxiedAnswer(m_answer.Status(), m_answer.Body(), m_strMarker, strGiveaways);
    if (eGrade >= PROXY_GRADE_TRANSPARENT && eGrade < rReport.eGrade) {
        rReport.eGrade = eGrade;
        rReport.strGiveaways = strGiveaways;
    }
}

namespace {

// Runs the probe to its end within the policy's bound, waiting on its one
// socket. FALSE when the job ran out first: that says nothing of the proxy.
BOOL RunProbe(CHttpsProbe& probe, const CUpstreamConfig& upstream, const CJudgeTarget& judge,
              const CJobDialPolicy& policy)
{
    DWORD dwAddr = 0;
    if (upstream.strUpstreamHost.IsEmpty() || upstream.nUpstreamPort == 0 ||
        !policy.Resolve(upstream.strUpstreamHost, &dwAddr) || !policy.MayConnect(dwAddr, upstream.nUpstreamPort))
        return !policy.JobOver();
    probe.Connect(upstream, dwAddr, judge, MakeJudgeMarker());
    while (!probe.IsDone()) {
        DWORD dwLeft = policy.RemainingMs();
        if (dwLeft == 0) break;
        SOCK_WAIT_ITEM item{probe.Socket(), probe.Want(), 0};
        int nReady = SockWaitMany(&item, 1, static_cast<int>(dwLeft < kPollMs ? dwLeft : kPollMs));
        if (nReady < 0) break;
        if (nReady > 0) probe.OnReady(item.nReady);
    }
    return probe.IsDone() || !policy.JobOver();
}

} // namespace

void TestHttpsThroughProxy(const CUpstreamConfig& upstream, const CJudgeTarget& judge, const CJobDialPolicy& policy,
                           CProxyGradeReport& rReport)
{
    CHttpsProbe probe;
    if (RunProbe(probe, upstream, judge, policy)) probe.Finish(rReport);
}

EHttpsOutcome TestEntryHttps(LPCTSTR pszEntry, LPCTSTR pszJudgeUrls, const CNetDeadline& deadline, DWORD dwLimitMs)
{
    CJudgeTarget judge;
    if (!FindHttpsJudge(pszJudgeUrls, judge)) return HTTPS_UNTESTED;
    CUpstreamConfig upstream;
    UpstreamFromEntry(pszEntry, upstream);
    CJobDialPolicy policy(deadline, dwLimitMs);
    CHttpsProbe probe;
    return RunProbe(probe, upstream, judge, policy) ? probe.Outcome() : HTTPS_UNTESTED;
}
