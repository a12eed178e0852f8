// The grade of an upstream proxy: what a web site learns about the user
// through it, judged from what the judge saw of a request through the proxy.
#pragma once

#include "judge_answer.h"

// Best last, so a higher value is a better proxy; the dead and the untested
// are no grade of a working proxy.
enum EProxyGrade {
    PROXY_GRADE_UNTESTED = 0,
    PROXY_GRADE_DEAD,        // no judge's answer through it
    PROXY_GRADE_TAMPERING,   // the marker or the answer changed on the way
    PROXY_GRADE_TRANSPARENT, // it passes an address (the user's) on to the site
    PROXY_GRADE_ANONYMOUS,   // no address passed on, but the proxy showed itself
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

// The whole grading of one proxy without any I/O, from the judge's answer
// to the request through the proxy alone (its HTTP status and body): the
// user's own address is never shown to a judge, so nothing is compared
// with it. Dead for a status other than 200; tampering for a page that is
// no judge's answer; else as GradeJudgeAnswer.
EProxyGrade GradeProxiedAnswer(DWORD dwStatus, const CString& strBody, LPCTSTR pszMarker, CString& rGiveaways);

// Grades what the judge saw of the request through the proxy:
// - tampering: the answer is not intact (length, checksum, bytes around
//   it), a page without a checksum carries a script, or its request lacks
//   pszMarker;
// - transparent: an IP address (v4 or v6) arrived in a header other than
//   Host and X-Forwarded-Host (the judge's own name: "-Host" at the end),
//   Via and Proxy-Agent, or the judge's record
//   of the connecting address names more than one (a judge that folds
//   X-Forwarded-For into it): the proxy passes an address on, most likely
//   the user's;
// - anonymous: no address passed on, but a header that only proxies add
//   arrived (Via, Proxy-Connection, X-Forwarded-Proto...); addresses in Via
//   and Proxy-Agent name proxies, not the user;
// - elite: neither.
// rGiveaways gets the names of the headers that gave the proxy away, comma
// separated, for transparent and anonymous; else empty.
EProxyGrade GradeJudgeAnswer(const CJudgeAnswer& proxied, LPCTSTR pszMarker, CString& rGiveaways);

// TRUE for a header name that only a proxy adds: Via, Forwarded,
// Forwarded-For, Proxy-Connection, Client-IP, X-Real-IP, X-Forwarded,
// X-Forwarded-*, X-Proxy-*, ... ("-" and "_" alike, any case).
BOOL IsProxyRevealingHeader(LPCTSTR pszName);

// The result box's line, the grade in the user's words: "Grade: elite - web
// sites see neither your address nor a proxy", and for transparent and
// anonymous with the headers that gave it away, "Grade: transparent - it
// passes an address on (X-Forwarded-For)".
CString FormatGradeLine(EProxyGrade eGrade, const CString& strGiveaways);
