// Tokenizing and section headers of configuration lines.
#include "cfgfile/cfg_tokenizer.h"
#include "cfgfile/cfg_file.h"

#include <climits>

std::vector<CfgTokenSpan> CfgSplitLine(const CString& strLine, int nMaxTokens)
{
    std::vector<CfgTokenSpan> tokens;
    const std::string& s = strLine.str();
    const size_t n = s.size();
    size_t i = 0;
    while (nMaxTokens < 0 || static_cast<int>(tokens.size()) < nMaxTokens) {
        while (i < n && CwIsSpace(s[i])) ++i;
        if (i >= n) break;

        CfgTokenSpan token;
        token.nStart = static_cast<int>(i);
        const bool quoted = s[i] == '"';
        size_t textStart = quoted ? i + 1 : i;
        size_t end;      // one past the token's text
        bool terminated; // a terminator (quote, blank or comma) follows the text
        if (s[i] == ',') {
            // A comma where a token would start: an empty token that this
            // comma ends.
            end = i;
            terminated = true;
        } else if (quoted) {
            end = s.find('"', textStart);
            terminated = end != std::string::npos;
            if (!terminated) end = n;
        } else {
            end = textStart;
            while (end < n && !CwIsSpace(s[end]) && s[end] != ',') ++end;
            terminated = end < n;
        }
        token.strText = CString(s.substr(textStart, end - textStart));
        token.nEnd = static_cast<int>(quoted && terminated ? end + 1 : end);
        const bool blankTerminator = !quoted && terminated && CwIsSpace(s[end]);
        tokens.push_back(token);

        i = terminated ? end + 1 : n;
        if (quoted || blankTerminator) {
            // Blanks around one comma make a single separator.
            while (i < n && CwIsSpace(s[i])) ++i;
            if (i < n && s[i] == ',') ++i;
        }
    }
    return tokens;
}

int CCfgFile::Tokenize(const CString& strLine, CString* pTokens, int* pnCount)
{
    std::vector<CfgTokenSpan> spans = CfgSplitLine(strLine, CFG_MAX_TOKENS);
    const int count = static_cast<int>(spans.size());
    if (pTokens) {
        for (int k = 0; k < count; ++k) pTokens[k] = spans[k].strText;
        // The slot after the last token is left empty, as callers that look
        // one past the count expect.
        if (count < CFG_MAX_TOKENS) pTokens[count].Empty();
    }
    if (pnCount) *pnCount = count;
    return count;
}

BOOL CCfgFile::IsSectionHeader(const CString& strLine, CString* pstrName)
{
    const std::string& s = strLine.str();
    size_t i = 0;
    while (i < s.size() && CwIsSpace(s[i])) ++i;
    if (i >= s.size() || s[i] != '[') return FALSE;
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] == ';') return FALSE;
        if (s[j] == ']') {
            if (pstrName) *pstrName = CString(s.substr(i + 1, j - i - 1));
            return TRUE;
        }
    }
    return FALSE;
}
