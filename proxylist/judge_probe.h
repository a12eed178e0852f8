// One proxy's test inside a batch that waits on many sockets at once: a
// non-blocking connect, the judge's request sent through the proxy, its
// answer read as it comes, each step taken when the batch's wait says its
// socket is ready, never waiting itself. The batch owns the clock and the
// limits; the probe only says what its socket waits for.
#pragma once

#include "framework/core/socket_api.h"
#include "http_answer_reader.h"
#include "judge_client.h"

class CJudgeProbe {
public:
    enum EStep {
        STEP_IDLE,       // not started, or waiting for its host's address
        STEP_CONNECTING, // the connect is under way
        STEP_HANDSHAKE,  // a greeting the proxy's kind needs before the request
        STEP_SENDING,    // the request, as far as the socket takes it
        STEP_RECEIVING,  // the answer, up to its length or the close
        STEP_DONE        // answered, refused or failed; Finish says which
    };

    CJudgeProbe() = default;
    ~CJudgeProbe(); // closes the socket
    CJudgeProbe(const CJudgeProbe&) = delete;
    CJudgeProbe& operator=(const CJudgeProbe&) = delete;

    // Starts the connect to the proxy at dwAddr:nPort (network order
    // address) with strRequest to send once connected. Done at once when
    // the connect failed straight away.
    void Connect(DWORD dwAddr, WORD nPort, const CString& strRequest, double dNowMs);

    EStep Step() const { return m_eStep; }
    BOOL IsDone() const { return m_eStep == STEP_DONE; }
    // The socket to wait on and what for (a SOCK_WANT_ value); NO_SOCKET
    // and 0 while there is nothing to wait for.
    SOCKET_HANDLE Socket() const { return m_eStep == STEP_DONE ? NO_SOCKET : m_socket; }
    int Want() const;

    // What the wait reported for Socket() (SOCK_READY_ bits); takes every
    // step that can be taken without waiting again.
    void OnReady(int nReady, double dNowMs);

    // Fills rReport from what happened and closes the socket: graded when a
    // whole answer came, else dead. The caller decides untested itself.
    void Finish(const CJudgeBaseline& baseline, const CString& strMarker, CProxyGradeReport& rReport);

private:
    void Fail();
    void SendMore();
    void ReceiveMore(double dNowMs);

    EStep m_eStep = STEP_IDLE;
    SOCKET_HANDLE m_socket = NO_SOCKET;
    CString m_strOut;
    int m_nSent = 0;
    BOOL m_bAnswered = FALSE;
    CHttpAnswerReader m_answer;
    double m_dStartMs = 0;
    double m_dConnectedMs = 0;
    double m_dEndMs = 0;
};
