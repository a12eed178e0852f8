// Asking the judge: once straight, to learn what the user's own requests
// look like on arrival, then through each proxy with a random marker. Plain
// HTTP/1.0 over the upstream dialer (an HTTP or SOCKS proxy, as the entry
// says), every wait bounded by the job's deadline and cancel flag and by a
// limit for the one proxy.
#pragma once

#include "judge_answer.h"
#include "net_deadline.h"
#include "proxy_grade.h"

// What the judge saw of a direct request; asked once per batch and shared
// (read only) by every proxy's test.
struct CJudgeBaseline {
    BOOL bValid = FALSE; // eState is JUDGE_BASELINE_READY
    EJudgeBaseline eState = JUDGE_BASELINE_NONE;
    CString strHost;     // the judge's name, as its URL gives it
    CString strHostPort; // the judge as the Host header names it
    CString strPath;     // its path, query included
    DWORD dwAddr = 0;    // the judge's address, network order
    WORD nPort = 0;
    CJudgeAnswer answer;
    // The whole judge list it came from: its https:// judge, when it has
    // one, is asked through each proxy's tunnel (https_probe.h).
    CString strJudgeUrls;
};

// Asks the judges of pszJudgeUrl (http:// URLs separated by blanks) directly,
// in order, until one gives a ready baseline (see ReadJudgeBaseline); the
// baseline names that judge. FALSE, with rBaseline.bValid FALSE, when none
// does in time; rBaseline.eState is then JUDGE_BASELINE_BLIND when a judge
// answered but did not show the user's address.
BOOL AskJudgeDirect(LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CJudgeBaseline& rBaseline);

// The request for the baseline's judge with a marker in its query: in the
// path form for the judge itself, or in the absolute form a proxy expects.
// Both carry the same headers, so the judge sees the same client headers.
CString BuildJudgeRequest(const CJudgeBaseline& baseline, const CString& strMarker, BOOL bThroughProxy);

// What testing one entry found.
struct CProxyGradeReport {
    EProxyGrade eGrade = PROXY_GRADE_UNTESTED;
    CString strGiveaways;     // see GradeJudgeAnswers
    int nConnectMs = 0;       // the TCP connect to the proxy, at least 1; 0 when none
    int nResponseMs = 0;      // from sending the request to the end of the answer
    double dKBPerSec = 0;     // the answer's bytes over that time
    BOOL bJudgeBlind = FALSE; // no grade: the judge did not show the user's address
    EHttpsOutcome eHttps = HTTPS_UNTESTED;
    // What a SOCKS proxy answered when it would not connect to the judge
    // ("the proxy refused the account", "host unreachable"...); empty else.
    CString strFailure;
};

// Grades the proxy an entry ("host:port ...") names: one request for the
// judge through it, with a fresh marker in the query. The entry gets at
// most dwEntryLimitMs, and less when the job's deadline comes first. Dead:
// unreachable, no answer in time, or an answer other than 200; a 200 page
// that is not the judge's is tampering. Untested: the job was cancelled or over before an
// answer came, or the baseline is not valid. TRUE when it got a grade
// other than dead or untested.
BOOL GradeProxy(LPCTSTR pszEntry, const CJudgeBaseline& baseline, const CNetDeadline& deadline, DWORD dwEntryLimitMs,
                CProxyGradeReport& rReport);

// The result box's test of one entry: the judge asked directly, then
// through the proxy, both under the one deadline. FALSE with the report
// untested when no judge gave a ready answer: the dialog then keeps its
// other lines and, when bJudgeBlind, says JUDGE_BLIND_GRADE_TEXT.
BOOL GradeOneProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CProxyGradeReport& rReport);

// A marker nobody can guess: 16 hex digits.
CString MakeJudgeMarker();
