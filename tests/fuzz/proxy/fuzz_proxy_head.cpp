// Fuzzes the end-of-head search and the split/rebuild of a request head.
// The first byte sets the size of the pieces the head "arrives" in; the
// rest is the bytes the browser sent.
#include "proxy/internal/request_head.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const int nPiece = 1 + data[0] % 64;
    const char* p = reinterpret_cast<const char*>(data + 1);
    const int n = static_cast<int>(size - 1);

    // Searching piece by piece finds the same end as one search of it all.
    const int nWhole = FindRequestHeadEnd(p, n);
    int nPieces = 0;
    for (int have = 0; have < n && nPieces == 0;) {
        int now = have + nPiece < n ? have + nPiece : n;
        nPieces = FindRequestHeadEnd(p, now, have);
        have = now;
    }
    Check(nPieces == nWhole);
    Check(nWhole == 0 || (nWhole >= 2 && nWhole <= n));

    const std::string head =
        nWhole ? std::string(p, static_cast<size_t>(nWhole)) : std::string(p, static_cast<size_t>(n));
    CRequestHead parsed;
    ParseRequestHead(CString(head), parsed);
    // Only a head cut short by the end of the input can lack its request line.
    Check(nWhole == 0 || !parsed.m_strRequestLine.IsEmpty());
    if (parsed.m_strRequestLine.IsEmpty()) return 0;
    CString rebuilt = RebuildRequestHead(parsed, "Proxy-Authorization: Basic dTpw\r\n");
    const std::string& out = rebuilt.str();

    // The rebuilt head is one head: its only empty line is its last.
    Check(out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0);
    Check(FindRequestHeadEnd(out.data(), static_cast<int>(out.size())) == static_cast<int>(out.size()));

    // Splitting the rebuilt head again gives the same request and target.
    CRequestHead again;
    ParseRequestHead(rebuilt, again);
    Check(again.m_strRequestLine == parsed.m_strRequestLine);
    Check(again.m_headers.GetSize() == parsed.m_headers.GetSize() + 1);
    for (int i = 0; i < parsed.m_headers.GetSize(); ++i) {
        Check(again.m_headers[i].m_bHasColon == parsed.m_headers[i].m_bHasColon);
        Check(again.m_headers[i].m_strName == parsed.m_headers[i].m_strName);
        Check(again.m_headers[i].m_strValue == parsed.m_headers[i].m_strValue);
    }
    Check(again.m_strHost == parsed.m_strHost);
    Check(again.m_nPort == parsed.m_nPort);
    return 0;
}
