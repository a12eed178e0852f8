// CStreamFilter: the content filter over a body that arrives in pieces. A tag
// split between two reads ("<scr" at the end of one, "ipt>" at the start of
// the next) is still renamed: the end of a piece that could begin a tag is
// held back and put in front of the next piece. At most a few bytes wait.
#pragma once

#include <string>

class CStreamFilter {
public:
    // Filters pData and appends to strOut everything that can no longer be
    // part of a tag split with the next piece.
    void Filter(const char* pData, int nLength, std::string& strOut);

    // The body ended: what was held back is filtered and appended.
    void Flush(std::string& strOut);

    // Length of the longest end of pData that is a proper beginning of one of
    // the filter's tag patterns (case ignored); those bytes have to wait.
    static int HeldBackLength(const char* pData, int nLength);

private:
    std::string m_strHeld;
};
