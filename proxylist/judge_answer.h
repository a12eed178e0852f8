// The proxy judge's answer: a page on the vendor's server, the user's own
// judge or a public one that tells what a request looked like when it
// arrived, so the program can see what a proxy added, leaked or changed.
#pragma once

#include "framework/core/cstring.h"
#include <cstddef>
#include <vector>

// The judge's path on the vendor server.
#define JUDGE_PATH "/licensing/ProxyGenerator/judge"
// The answer's first line; a page without it is no judge's answer.
#define JUDGE_MAGIC "Cloakwall-Judge/1"

// Public judges, one of each answer style, asked when neither the user nor
// a vendor names one. They are third parties: they see the user's address
// and the proxies', as any judge does.
// The https:// one is asked through each proxy's tunnel only (JSON over TLS).
#define DEFAULT_PUBLIC_JUDGES "http://azenv.net/ http://httpbin.org/get https://httpbin.org/get"

// The judges to ask, blank separated, in order: pszJudgeUrl (the JudgeUrl
// setting) when it is not empty, else the one on the vendor server
// pszUpdateServer names, else (no vendor, see IsRealUpdateServer) the public
// ones. Defined with the vendor's addresses, in the Windows build only.
CString GetJudgeUrl(LPCTSTR pszJudgeUrl, LPCTSTR pszUpdateServer);

// The URLs of such a list, in order.
std::vector<CString> SplitJudgeUrls(LPCTSTR pszJudgeUrls);

// CRC-32 (the one of zip and PNG), as the judge signs its answer with.
DWORD JudgeChecksum(const char* pData, size_t nLen);

// The program's own answer, line by line (CR LF each):
//   Cloakwall-Judge/1
//   Client: <the address the request came from>
//   Request: <the request line as received>
//   <every request header line, in order, as received>
//   <empty line>
//   Length: <bytes of all the lines above, the empty one included>
//   Checksum: <their CRC-32, 8 hex digits>
// Public judges answer in one of two other ways, read as well:
// - the environment dump: a page with "KEY = value" lines, most often in a
//   <pre>: REMOTE_ADDR the client, REQUEST_URI the target, HTTP_X_Y the
//   header X-Y;
// - the JSON echo: an object with "origin" (the client, or a list of
//   addresses), "url" or "args" (the target) and "headers" (an object).
enum EJudgeStyle { JUDGE_STYLE_OWN, JUDGE_STYLE_ENV_DUMP, JUDGE_STYLE_JSON };

struct CJudgeAnswer {
    EJudgeStyle eStyle = JUDGE_STYLE_OWN;
    // The own style: magic line found, length and checksum agree. The
    // others, which carry no checksum: read whole, nothing around them.
    BOOL bIntact = FALSE;
    CString strClient;            // the address(es) the request came from, as written
    CString strRequest;           // the request line, or the target the judge names
    std::vector<CString> headers; // "Name: value" as the judge saw them
    int nScripts = 0;             // "<script" in the page: what an injecting proxy adds
};

// Reads an answer body of any of the three styles; what it could read is
// filled in even when it is not intact. FALSE when it is no judge's answer
// at all. Fields are read by their names, never by their place.
BOOL ParseJudgeAnswer(const CString& strBody, CJudgeAnswer& rAnswer);

// The two styles of public judges (judge_styles.cpp); FALSE when the body is
// not of that style.
BOOL ParseEnvDumpAnswer(const CString& strBody, CJudgeAnswer& rAnswer);
BOOL ParseJsonEchoAnswer(const CString& strBody, CJudgeAnswer& rAnswer);

// Splits "Name: value" into the name and the value without the blanks
// after the colon; FALSE for a line without a colon.
BOOL SplitHeaderLine(const CString& strLine, CString& rName, CString& rValue);

// Header names as judges write them: "-" and "_" alike, any case
// ("X-Forwarded-For", "x_forwarded_for").
BOOL SameHeaderName(LPCTSTR pszName, LPCTSTR pszOther);
