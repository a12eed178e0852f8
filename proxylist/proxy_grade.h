// The grade of an upstream proxy: what a web site learns about the user
// through it, judged from what the judge saw of a direct request and of one
// through the proxy.
#pragma once

#include "judge_answer.h"

// Best last, so a higher value is a better proxy; the dead and the untested
// are no grade of a working proxy.
enum EProxyGrade {
    PROXY_GRADE_UNTESTED = 0,
    PROXY_GRADE_DEAD,        // no judge's answer through it
    PROXY_GRADE_TAMPERING,   // the marker or the answer changed on the way
    PROXY_GRADE_TRANSPARENT, // the user's address reached the site
    PROXY_GRADE_ANONYMOUS,   // the address did not, but the proxy showed itself
    PROXY_GRADE_ELITE        // neither
};

// What a tunnel through the proxy to an https:// judge showed; best last,
// as with the grade.
enum EHttpsOutcome {
    HTTPS_UNTESTED = 0,
    HTTPS_NONE,     // the proxy refused the tunnel, or it broke: secure pages will not load
    HTTPS_TAMPERED, // the certificate did not verify: the proxy can read secure pages
    HTTPS_CARRIED   // a verified TLS session went through
};

// "https", "no-https", "tampers", "untested": the results file's word.
LPCTSTR HttpsOutcomeName(EHttpsOutcome eHttps);
// The outcome a word names; HTTPS_UNTESTED for any other word (and for the
// files written before the column was there).
EHttpsOutcome HttpsOutcomeFromName(LPCTSTR pszName);
// The list's and the tip's word: "HTTPS", "no HTTPS", "tampers with HTTPS";
// empty when untested.
LPCTSTR HttpsOutcomeMark(EHttpsOutcome eHttps);
// The result box's line: "HTTPS: yes", "HTTPS: no: secure pages will not
// load through it", "HTTPS: the proxy replaced the site's certificate: it
// can read your secure pages"; empty when untested.
CString FormatHttpsLine(EHttpsOutcome eHttps);

// "elite", "anonymous", "transparent", "tampering", "dead", "untested": the
// word the results file and the result box use.
LPCTSTR ProxyGradeName(EProxyGrade eGrade);
// The grade a word names; PROXY_GRADE_UNTESTED for any other word.
EProxyGrade ProxyGradeFromName(LPCTSTR pszName);

// The result box's line when the judge answered without the user's address:
// nothing can be told of a proxy then.
#define JUDGE_BLIND_GRADE_TEXT "Grade: unknown (the judge did not see your address)"

// What a direct answer is good for.
enum EJudgeBaseline {
    JUDGE_BASELINE_NONE,  // no answer of a judge, or not intact
    JUDGE_BASELINE_BLIND, // a judge's answer that does not show the user's address
    JUDGE_BASELINE_READY  // proxies can be graded against it
};

// Reads the judge's answer to the direct request (its HTTP status and body)
// into rDirect and says whether proxies can be graded against it. No I/O.
EJudgeBaseline ReadJudgeBaseline(DWORD dwStatus, const CString& strBody, CJudgeAnswer& rDirect);

// The whole grading of one proxy without any I/O: what the judge answered
// to the request through the proxy (HTTP status and body), against a direct
// answer that ReadJudgeBaseline found ready. Dead for a status other than
// 200; tampering for a page that is no judge's answer; else as
// GradeJudgeAnswers.
EProxyGrade GradeProxiedAnswer(const CJudgeAnswer& direct, DWORD dwStatus, const CString& strBody, LPCTSTR pszMarker,
                               CString& rGiveaways);

// The same from the two answer bodies (both with status 200); untested when
// the direct one is no ready baseline.
EProxyGrade GradeJudgeTexts(const CString& strDirect, const CString& strProxied, LPCTSTR pszMarker,
                            CString& rGiveaways);

// Grades the answer the judge gave through the proxy against the direct one:
// - untested: the direct answer does not show the user's address;
// - tampering: the answer through the proxy is not intact (length,
//   checksum, bytes around it, more scripts than the direct page), is of
//   another style, or its request lacks pszMarker;
// - transparent: an address the direct request showed (its client, or in
//   any header but Host) appears in the client or in any header through
//   the proxy. When both requests came from the same client and the direct
//   one's headers name another address, the judge sits behind a front of
//   its own: the client is the front and the headers name the user;
// - anonymous: not leaked, but a header arrived which the direct request
//   did not carry and which reveals a proxy by its name or holds an address;
// - elite: neither.
// rGiveaways gets the names of the headers (or "address") that gave the
// proxy away, comma separated, for transparent and anonymous; else empty.
EProxyGrade GradeJudgeAnswers(const CJudgeAnswer& direct, const CJudgeAnswer& proxied, LPCTSTR pszMarker,
                              CString& rGiveaways);

// TRUE for a header name that only a proxy adds: Via, Forwarded,
// Forwarded-For, Proxy-Connection, Client-IP, X-Real-IP, X-Forwarded,
// X-Forwarded-*, X-Proxy-*, ... ("-" and "_" alike, any case).
BOOL IsProxyRevealingHeader(LPCTSTR pszName);

// The result box's line, the grade in the user's words: "Grade: elite: web
// sites see neither your address nor a proxy", and for transparent and
// anonymous with the giveaways, "Grade: transparent: it passes your address
// on (X-Forwarded-For)".
CString FormatGradeLine(EProxyGrade eGrade, const CString& strGiveaways);
