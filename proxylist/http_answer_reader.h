// An HTTP/1.0 answer read piece by piece as it arrives, from a blocking
// socket or from one of many non-blocking ones: where its head ends, when
// it is whole, its status and its body.
#pragma once

#include "framework/core/cstring.h"

class CHttpAnswerReader {
public:
    // More than any judge's page; an answer that goes on is cut here.
    static const int kMaxAnswerBytes = 64 * 1024;

    explicit CHttpAnswerReader(int nMaxBytes = kMaxAnswerBytes) : m_nMaxBytes(nMaxBytes) {}

    // Takes the next bytes; FALSE once the answer is longer than the
    // most it may be (it is then of no use).
    BOOL Add(const char* pData, int nLen);
    // Whole by its Content-Length.
    BOOL IsComplete() const;
    // Whole once the server closed: the head at least arrived, and the body
    // is what came after it (HTTP/1.0 without a length ends at the close).
    BOOL IsCompleteAtClose() const { return m_nHeadEnd >= 0; }

    // Once complete: "HTTP/1.x 200 ..." gives 200; 0 when unreadable.
    DWORD Status() const;
    // Once complete: the body, no longer than the Content-Length.
    CString Body() const;
    int Bytes() const { return m_strAnswer.GetLength(); }

private:
    int m_nMaxBytes;
    CString m_strAnswer;
    int m_nHeadEnd = -1; // where "\r\n\r\n" starts; -1 before it came
    long m_nWant = -1;   // Content-Length; -1 when the head names none
};
