// One proxy's test inside a batch that waits on many sockets at once: a
// non-blocking connect, the SOCKS greeting when the proxy is one, the
// judge's request sent through the proxy, its answer read as it comes, each
// step taken when the batch's wait says its socket is ready, never waiting
// itself. The batch owns the clock and the limits; the probe only says what
// its socket waits for.
#pragma once

#include "framework/core/socket_api.h"
#include "http_answer_reader.h"
#include "judge_client.h"
#include "proxy/socks_handshake.h"

#include <memory>
#include <string>

class CJudgeProbe {
public:
    enum EStep {
        STEP_IDLE,       // not started, or waiting for its host's address
        STEP_CONNECTING, // the connect is under way
        STEP_HELLO,      // a request the proxy answers itself, before the judge's turn
        STEP_CONNECTED,  // connected, waiting for its turn at a judge (Ask)
        STEP_HANDSHAKE,  // the SOCKS greeting, before the request
        STEP_SENDING,    // the request, as far as the socket takes it
        STEP_RECEIVING,  // the answer, up to its length or the close
        STEP_DONE        // answered, refused or failed; Finish says which
    };

    CJudgeProbe() = default;
    ~CJudgeProbe(); // closes the socket
    CJudgeProbe(const CJudgeProbe&) = delete;
    CJudgeProbe& operator=(const CJudgeProbe&) = delete;

    // Starts the connect to the proxy at dwAddr:nPort (network order
    // address). Done at once when the connect failed straight away. Once
    // connected the probe waits (STEP_CONNECTED) until the batch gives it a
    // judge: most entries of a list never get that far, and the judges'
    // turns go only to proxies that answered.
    //
    // With bHelloFirst (an HTTP proxy), it first sends a request that names
    // no server at all, which a proxy answers itself (mostly 400), and
    // connects again once any answer came: half the dead entries of a
    // published list accept a connection and never say a word, and only a
    // request shows that. Without it, every listening black hole would take
    // a judge's turn and wait out its limit before the judge's next proxy.
    void Connect(DWORD dwAddr, WORD nPort, double dNowMs, BOOL bHelloFirst = FALSE);

    // Once STEP_CONNECTED, for a SOCKS proxy: the greeting for a tunnel to
    // strHost:nPort (the judge, by the name it is given), with the account
    // when strUser is not empty. Before Ask.
    void UseSocks(ESocksVersion eVersion, const CString& strHost, WORD nPort, const CString& strUser,
                  const CString& strPassword);
    // Once STEP_CONNECTED: greets a SOCKS proxy, then sends strRequest.
    void Ask(const CString& strRequest, double dNowMs);

    EStep Step() const { return m_eStep; }
    BOOL IsDone() const { return m_eStep == STEP_DONE; }
    // The socket to wait on and what for (a SOCK_WANT_ value); NO_SOCKET
    // once done, and Want 0 while there is nothing to wait for (waiting for
    // its turn included: a proxy that hangs up meanwhile shows at the
    // request).
    SOCKET_HANDLE Socket() const { return m_eStep == STEP_DONE ? NO_SOCKET : m_socket; }
    int Want() const;

    // What the wait reported for Socket() (SOCK_READY_ bits); takes the
    // step it is ready for, and ends there: a step that failed, or moved on,
    // waits for the next wait's word on the new state.
    void OnReady(int nReady, double dNowMs);

    // Fills rReport from what happened and closes the socket: graded when a
    // whole answer came, else dead (with the SOCKS server's refusal, or an
    // HTTP proxy's 407 for route's account, in words). The caller decides
    // untested itself.
    void Finish(const CUpstreamConfig& route, const CString& strMarker, CProxyGradeReport& rReport);

private:
    void Fail() { m_eStep = STEP_DONE; }
    // Sends what is pending; TRUE once all of it is out.
    BOOL Flush();
    void StartRequest(double dNowMs);
    void ReceiveGreeting(double dNowMs);
    void ReceiveAnswer(double dNowMs);
    void ReceiveHello(double dNowMs);

    EStep m_eStep = STEP_IDLE;
    SOCKET_HANDLE m_socket = NO_SOCKET;
    DWORD m_dwAddr = 0; // the proxy, for the connect after the hello
    WORD m_nPort = 0;
    BOOL m_bHello = FALSE; // the hello is still to come
    std::unique_ptr<CSocksHandshake> m_pSocks;
    BOOL m_bSocksFailed = FALSE;
    std::string m_strPending; // to send in this step
    size_t m_nSent = 0;
    CString m_strRequest;
    BOOL m_bAnswered = FALSE;
    CHttpAnswerReader m_answer;
    double m_dStartMs = 0;
    double m_dConnectedMs = 0;
    double m_dRequestMs = 0;
    double m_dFirstByteMs = 0;
    double m_dEndMs = 0;
};
