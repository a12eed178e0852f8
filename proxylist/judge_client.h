// Asking the judge through each proxy with a random marker, and never
// otherwise: a judge is a third party, and a request from the user's own
// address would let it link that address to every proxy the user tries.
// Plain HTTP/1.0 over the upstream dialer (an HTTP or SOCKS proxy, as the
// entry says), every wait bounded by the job's deadline and cancel flag and
// by a limit for the one proxy. The judge's name goes to the proxy; it is
// never looked up here.
#pragma once

#include "judge_answer.h"
#include "net_deadline.h"
#include "proxy/internal/upstream_config.h"
#include "proxy_grade.h"

#include <vector>

// A judge, as its URL names it.
struct CJudgeTarget {
    CString strHost;     // the judge's name, as its URL gives it
    CString strHostPort; // the judge as the Host header names it
    CString strPath;     // its path, query included
    WORD nPort = 0;
};

// The judges of a list of http:// URLs separated by blanks, in order;
// anything else in the list is skipped.
std::vector<CJudgeTarget> ReadJudgeTargets(LPCTSTR pszJudgeUrls);

// The request for the judge with a marker in its query, along the entry's
// route: the absolute form with the account's Proxy-Authorization for an
// HTTP proxy, the path form through SOCKS; a browser's User-Agent.
CString BuildJudgeRequest(const CJudgeTarget& judge, const CUpstreamConfig& route, const CString& strMarker);

// What testing one entry found.
struct CProxyGradeReport {
    EProxyGrade eGrade = PROXY_GRADE_UNTESTED;
    CString strGiveaways; // see GradeJudgeAnswer
    int nConnectMs = 0;   // the TCP connect to the proxy, at least 1; 0 when none
    // From the start of the entry's own connect to the judge's first answer
    // byte, at least 1; 0 when no answer came. The figure the list is
    // sorted by and every window shows.
    int nResponseMs = 0;
    // KB/sec of the judge's answer, from the request to its last byte;
    // SPEED_NOT_MEASURED (upstream_fetch.h) when it was too small to time.
    double dKBPerSec = 0;
    EHttpsOutcome eHttps = HTTPS_UNTESTED;
    // Why a proxy that answered would not carry the request: what a SOCKS
    // proxy said ("host unreachable"...) or an account refused ("the proxy
    // refused the account"); empty else.
    CString strFailure;
};

// Grades the proxy an entry ("host:port ...", with an account or not)
// names: one request for the judge through it, with a fresh marker in the
// query. The entry gets at most dwEntryLimitMs, and less when the job's
// deadline comes first. Dead: unreachable, no answer in time, or an answer
// other than 200 (a 407 says the account was refused); a 200 page that is
// not the judge's is tampering. Untested: the job was cancelled or over
// before an answer came. TRUE when it got a grade other than dead or
// untested.
BOOL GradeProxy(LPCTSTR pszEntry, const CJudgeTarget& judge, const CNetDeadline& deadline, DWORD dwEntryLimitMs,
                CProxyGradeReport& rReport);

// The result box's grade of one entry: the judges of pszJudgeUrls asked
// through the proxy in order, the next one only while the proxy answers
// that it could not reach the one before (a status other than 200 and
// 407), all under the one deadline; each ends a little before it, so that
// silence comes out dead, not untested. FALSE when the list names no judge.
BOOL GradeOneProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrls, const CNetDeadline& deadline, CProxyGradeReport& rReport);

// A marker nobody can guess: 16 hex digits.
CString MakeJudgeMarker();
