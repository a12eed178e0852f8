// Fuzzes FilterBody against a plain reference of the renaming rules: each
// rule a pass of its own, in order, tag names matched in any case. The
// first byte sets the two switches; the rest is the chunk.
#include "proxy/content_filter.h"
#include "proxy/filter_switches.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string Lowered(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

// Replaces every occurrence of from (lower case), whatever the case of the
// text, left to right, without looking into what it inserted.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    const std::string lower = Lowered(text);
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t hit = lower.find(from, at);
        if (hit == std::string::npos) break;
        out.append(text, at, hit - at);
        out += to;
        at = hit + from.size();
    }
    out.append(text, at, std::string::npos);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    // Values 0..3 for each switch: only 1 turns it on.
    const DWORD dwJS = data[0] & 3, dwActiveX = (data[0] >> 2) & 3;
    SetFilterSwitches(dwJS, dwActiveX);
    const std::string chunk(reinterpret_cast<const char*>(data + 1), size - 1);

    CContentFilter filter(chunk.data(), static_cast<int>(chunk.size()));
    const int rc = filter.FilterBody();
    if (chunk.empty()) {
        if (rc != 0) std::abort();
        return 0;
    }
    if (rc != 1) std::abort();

    std::string want = chunk;
    if (dwJS == 1) {
        want = ReplaceAll(want, "<script", "<noscript");
        want = ReplaceAll(want, "</script>", "</noscript> ");
    }
    if (dwActiveX == 1) {
        want = ReplaceAll(want, "<object", "<noobj ");
        want = ReplaceAll(want, "</object>", "</noobj> ");
    }
    if (filter.GetFiltered().str() != want) std::abort();
    // Switches off: not a byte changes. Object rules alone: same length.
    if (dwJS != 1 && dwActiveX != 1 && want != chunk) std::abort();
    if (dwJS != 1 && want.size() != chunk.size()) std::abort();
    return 0;
}
