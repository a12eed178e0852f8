// The HTTPS half of a proxy's test: a tunnel through the proxy to an
// https:// judge (CONNECT for an HTTP proxy, with its account; the SOCKS
// request for a SOCKS one), the system's TLS over it, the certificate
// checked for the judge's name, and the judge's answer read through it. A
// step machine like CJudgeProbe's, fed by whoever waits on its socket: the
// batch's one wait, or the blocking test of one entry below.
//
// The judge's name goes to the proxy as it is, in the CONNECT line or the
// SOCKS request: it is never looked up here.
#pragma once

#include "framework/core/socket_api.h"
#include "http_answer_reader.h"
#include "judge_client.h"
#include "proxy/socks_handshake.h"
#include "tls_client.h"
#include "upstream_fetch.h"

#include <memory>
#include <string>

// The first https:// URL of a judge list (blank separated) in rJudge's
// strHost, nPort (443 when the URL names none), strHostPort and strPath;
// FALSE when the list has none: HTTPS then stays untested.
BOOL FindHttpsJudge(LPCTSTR pszJudgeUrls, CJudgeTarget& rJudge);

class CHttpsProbe {
public:
    enum EStep {
        STEP_IDLE,       // not started
        STEP_CONNECTING, // to the proxy
        STEP_TUNNEL,     // CONNECT and its answer, or the SOCKS greeting
        STEP_HANDSHAKE,  // TLS, until the server's certificate is in
        STEP_SENDING,    // the judge's request, encrypted
        STEP_RECEIVING,  // its answer, up to its length or the close
        STEP_DONE        // Finish says what came of it
    };

    CHttpsProbe() = default;
    ~CHttpsProbe(); // closes the socket
    CHttpsProbe(const CHttpsProbe&) = delete;
    CHttpsProbe& operator=(const CHttpsProbe&) = delete;

    // Starts the connect to the proxy (upstream, at dwAddr, network order)
    // for a tunnel to judge, whose request carries strMarker.
    void Connect(const CUpstreamConfig& upstream, DWORD dwAddr, const CJudgeTarget& judge, const CString& strMarker);

    BOOL IsDone() const { return m_eStep == STEP_DONE; }
    // The socket to wait on and what for (SOCK_WANT_ bits); NO_SOCKET and 0
    // when done.
    SOCKET_HANDLE Socket() const { return m_eStep == STEP_DONE ? NO_SOCKET : m_socket; }
    int Want() const;
    // What the wait reported for Socket(); takes every step it can.
    void OnReady(int nReady);

    // Once done (or given up on): carried once a verified session brought a
    // whole answer; tampered when the certificate did not verify; else no
    // HTTPS (refused, broken, or not finished).
    EHttpsOutcome Outcome() const;

    // Closes the socket and puts the outcome in rReport.eHttps: carried
    // once a verified session brought a whole answer; tampered when the
    // certificate did not verify; no HTTPS for a refused, broken or
    // unfinished tunnel. The answer is graded as the plain one
    // (GradeProxiedAnswer); a grade worse than the plain one's is the
    // entry's. Leaves rReport alone when the plain request
    // found no working proxy.
    void Finish(CProxyGradeReport& rReport);

private:
    void Fail() { m_eStep = STEP_DONE; }
    BOOL Flush();
    void Queue(const std::string& strBytes);
    void ReceiveTunnel();
    void TakeTunnelAnswer(const char* pData, int nLength);
    void StartTls();
    void ReceiveTls();
    void ReceiveAnswer();

    EStep m_eStep = STEP_IDLE;
    SOCKET_HANDLE m_socket = NO_SOCKET;
    std::unique_ptr<CSocksHandshake> m_pSocks;
    CString m_strHost;
    CString m_strRequest;
    CString m_strMarker;
    std::string m_strPending;
    size_t m_nSent = 0;
    std::string m_strTunnelHead; // the proxy's answer to CONNECT, so far
    CTlsClient m_tls;
    CTlsClient::ECertVerdict m_eVerdict = CTlsClient::CERT_UNCHECKED;
    BOOL m_bAnswered = FALSE;
    CHttpAnswerReader m_answer;
};

// The blocking test of one entry: the tunnel through upstream to judge
// within policy's bound, its outcome and grade put in rReport as Finish
// does. The proxy's own name is looked up through the policy.
void TestHttpsThroughProxy(const CUpstreamConfig& upstream, const CJudgeTarget& judge, const CJobDialPolicy& policy,
                           CProxyGradeReport& rReport);

// The tunnel alone, for a look at an entry ("host:port", "socks5://...")
// that needs no grade: whether it carries HTTPS to the first https:// judge
// of pszJudgeUrls within dwLimitMs and the job's deadline. Untested when
// the list has no https:// judge or the job ran out first.
EHttpsOutcome TestEntryHttps(LPCTSTR pszEntry, LPCTSTR pszJudgeUrls, const CNetDeadline& deadline, DWORD dwLimitMs);
