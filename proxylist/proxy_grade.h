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

// "elite", "anonymous", "transparent", "tampering", "dead", "untested": the
// word the results file and the result box use.
LPCTSTR ProxyGradeName(EProxyGrade eGrade);
// The grade a word names; PROXY_GRADE_UNTESTED for any other word.
EProxyGrade ProxyGradeFromName(LPCTSTR pszName);

// Grades the answer the judge gave through the proxy against the direct one:
// - tampering: the answer through the proxy is not intact (length,
//   checksum, bytes around it), or its request line lacks pszMarker;
// - transparent: the direct answer's client address appears in the client
//   address or in any header value seen through the proxy, except a header
//   the direct request carried with the same value (the Host header names
//   the judge, which may share the user's address);
// - anonymous: not leaked, but headers that reveal a proxy arrived which the
//   direct request did not carry;
// - elite: neither.
// rGiveaways gets the names of the headers (or "address") that gave the
// proxy away, comma separated, for transparent and anonymous; else empty.
EProxyGrade GradeJudgeAnswers(const CJudgeAnswer& direct, const CJudgeAnswer& proxied, LPCTSTR pszMarker,
                              CString& rGiveaways);

// TRUE for a header name that only a proxy adds: Via, Forwarded,
// Proxy-Connection, Client-IP, X-Real-IP, X-Forwarded-*, X-Proxy-*, ...
BOOL IsProxyRevealingHeader(LPCTSTR pszName);

// The result box's line, the grade in the user's words: "Grade: elite: web
// sites see neither your address nor a proxy", and for transparent and
// anonymous with the giveaways, "Grade: transparent: it passes your address
// on (X-Forwarded-For)".
CString FormatGradeLine(EProxyGrade eGrade, const CString& strGiveaways);
