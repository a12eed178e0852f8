// The proxy judge's answer: a page on the vendor's server (or the user's own
// judge) that tells in plain text what a request looked like when it
// arrived, so the program can see what a proxy added, leaked or changed.
#pragma once

#include "framework/core/cstring.h"
#include <cstddef>
#include <vector>

// The judge's path on the vendor server.
#define JUDGE_PATH "/licensing/ProxyGenerator/judge"
// The answer's first line; a page without it is no judge's answer.
#define JUDGE_MAGIC "Cloakwall-Judge/1"

// The judge to ask: pszJudgeUrl (the JudgeUrl setting) when it is not
// empty, else the one on the vendor server pszUpdateServer names.
CString GetJudgeUrl(LPCTSTR pszJudgeUrl, LPCTSTR pszUpdateServer);

// CRC-32 (the one of zip and PNG), as the judge signs its answer with.
DWORD JudgeChecksum(const char* pData, size_t nLen);

// The answer, line by line (CR LF each):
//   Cloakwall-Judge/1
//   Client: <the address the request came from>
//   Request: <the request line as received>
//   <every request header line, in order, as received>
//   <empty line>
//   Length: <bytes of all the lines above, the empty one included>
//   Checksum: <their CRC-32, 8 hex digits>
struct CJudgeAnswer {
    BOOL bIntact = FALSE; // magic line found, length and checksum agree
    CString strClient;
    CString strRequest;
    std::vector<CString> headers; // "Name: value" as the judge saw them
};

// Reads an answer body; what it could read is filled in even when the
// length or checksum disagree (bIntact FALSE). FALSE when it is no judge's
// answer at all (no magic line).
BOOL ParseJudgeAnswer(const CString& strBody, CJudgeAnswer& rAnswer);

// Splits "Name: value" into the name and the value without the blanks
// after the colon; FALSE for a line without a colon.
BOOL SplitHeaderLine(const CString& strLine, CString& rName, CString& rValue);
