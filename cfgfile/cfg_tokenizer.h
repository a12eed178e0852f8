// Line splitting of the configuration format, with the place of every token
// in its line, so that callers can carry raw text over (comments, quoted
// values) instead of re-joining tokens.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/text_number.h"

#include <vector>

// Most tokens a line yields; later ones are ignored.
constexpr int CFG_MAX_TOKENS = 20;

struct CfgTokenSpan {
    CString strText; // the token, without quotes
    int nStart;      // offset of its first byte in the line (the opening quote of a quoted token)
    int nEnd;        // offset just past its last byte (past the closing quote, if there is one)
};

// Splits a line into at most nMaxTokens tokens (any count when nMaxTokens is
// negative) by the rules of the format.
std::vector<CfgTokenSpan> CfgSplitLine(const CString& strLine, int nMaxTokens);
