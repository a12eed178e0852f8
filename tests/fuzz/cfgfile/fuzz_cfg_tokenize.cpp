// Fuzz target: line tokenizing and section headers on arbitrary bytes.
#include "cfgfile/cfg_file.h"
#include "cfgfile/cfg_tokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) std::abort();                                                                                     \
    } while (0)

static bool IsBlankOrComma(char ch)
{
    return CwIsSpace(ch) || ch == ',';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CString line(std::string(reinterpret_cast<const char*>(data), size));

    CString tokens[CFG_MAX_TOKENS];
    int count = -1;
    const int result = CCfgFile::Tokenize(line, tokens, &count);
    CHECK(result == count && count >= 0 && count <= CFG_MAX_TOKENS);

    // The unlimited split agrees with the limited one and its spans point at
    // the raw text of each token, in order.
    std::vector<CfgTokenSpan> spans = CfgSplitLine(line, -1);
    CHECK(static_cast<int>(spans.size()) >= count);
    CHECK(spans.size() == static_cast<size_t>(count) || count == CFG_MAX_TOKENS);
    int last = 0;
    for (size_t k = 0; k < spans.size(); ++k) {
        const CfgTokenSpan& s = spans[k];
        CHECK(s.nStart >= last && s.nEnd >= s.nStart && s.nEnd <= line.GetLength());
        last = s.nEnd;
        const std::string raw = line.str().substr(s.nStart, s.nEnd - s.nStart);
        const std::string& text = s.strText.str();
        if (k < static_cast<size_t>(count)) CHECK(tokens[k] == s.strText);
        if (!raw.empty() && raw[0] == '"') {
            CHECK(text.find('"') == std::string::npos);
            CHECK(raw.compare(1, text.size(), text) == 0);
        } else {
            CHECK(raw == text);
            for (char ch : text) CHECK(!IsBlankOrComma(ch));
        }
    }

    // Tokens written back quoted and comma-separated read back the same,
    // unless one holds a quote (the format has no escapes).
    std::string rejoined;
    bool quotable = true;
    for (int k = 0; k < count; ++k) {
        if (tokens[k].str().find('"') != std::string::npos) quotable = false;
        rejoined += (k ? "," : "") + std::string("\"") + tokens[k].str() + "\"";
    }
    if (quotable) {
        CString again[CFG_MAX_TOKENS];
        CHECK(CCfgFile::Tokenize(CString(rejoined), again, nullptr) == count);
        for (int k = 0; k < count; ++k) CHECK(again[k] == tokens[k]);
    }

    CString name("\x01untouched");
    if (CCfgFile::IsSectionHeader(line, &name)) {
        CHECK(name.str().find(']') == std::string::npos && name.str().find(';') == std::string::npos);
        CString back;
        CHECK(CCfgFile::IsSectionHeader("[" + name + "]", &back) && back == name);
    } else {
        CHECK(name == "\x01untouched");
    }

    int value = 0;
    CwScanInt(line, &value);
    return 0;
}
