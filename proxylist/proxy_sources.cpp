// The source list, the merge of their entries and the message about them.
#include "proxy_sources.h"

#include "proxy_address.h"

#include <cstring>

const char* const g_rgszDefaultProxySources[] = {
    "https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/http.txt",
    "https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/http.txt",
    "https://raw.githubusercontent.com/clarketm/proxy-list/master/proxy-list-raw.txt",
};
const int g_nDefaultProxySources = sizeof g_rgszDefaultProxySources / sizeof g_rgszDefaultProxySources[0];

namespace {

bool StartsWithNoCase(const CString& text, LPCTSTR pszPrefix)
{
    const int n = static_cast<int>(std::strlen(pszPrefix));
    return text.GetLength() >= n && text.Left(n).CompareNoCase(pszPrefix) == 0;
}

CString Trimmed(LPCTSTR psz)
{
    CString text(psz);
    text.Trim();
    return text;
}

// "1,234": the figures of lists run into the thousands.
CString Thousands(long long n)
{
    CString digits;
    digits.Format("%lld", n);
    CString out;
    const int length = digits.GetLength();
    for (int i = 0; i < length; ++i) {
        if (i > 0 && (length - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

CString CountOf(long long n, LPCTSTR pszOne, LPCTSTR pszMany)
{
    return Thousands(n) + " " + (n == 1 ? pszOne : pszMany);
}

CString FormatFirstStartText(int nProxies, int nLists)
{
    return CountOf(nProxies, "proxy", "proxies") + " from " + CountOf(nLists, "list", "lists") +
           ". Press \"Test All Proxies\" to find the ones that work.";
}

BOOL IsRealUpdateServer(LPCTSTR pszUpdateServer)
{
    CString server = Trimmed(pszUpdateServer);
    // "host" or "host:port"; the port does not make a host real.
    int colon = server.ReverseFind(':');
    if (colon >= 0 && server.Find(']') < colon) server = server.Left(colon);
    server.TrimRight(".");
    if (server.IsEmpty()) return FALSE;
    server.MakeLower();
    return server != "invalid" && (server.GetLength() < 8 || server.Right(8) != ".invalid");
}

BOOL IsUrlSource(LPCTSTR pszSource)
{
    CString source = Trimmed(pszSource);
    return StartsWithNoCase(source, "http://") || StartsWithNoCase(source, "https://");
}

void ListProxySources(LPCTSTR pszVendorListUrl, LPCTSTR pszMyProxiesPath, const CStringList& configured,
                      CStringList& rSources)
{
    auto add = [&rSources](LPCTSTR psz) {
        CString source = Trimmed(psz);
        if (source.IsEmpty()) return;
        for (POSITION pos = rSources.GetHeadPosition(); pos;)
            if (rSources.GetNext(pos).CompareNoCase(source) == 0) return;
        rSources.AddTail(source);
    };
    add(pszVendorListUrl);
    add(pszMyProxiesPath);
    for (POSITION pos = configured.GetHeadPosition(); pos;) add(configured.GetNext(pos));
}

CProxySourceTally CProxyListMerge::AddText(const CString& strText)
{
    CProxySourceTally tally;
    const std::string& text = strText.str();
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string::npos ? text.size() : lf;
        CString line(text.substr(start, end - start));
        // A UTF-8 file's mark before its first line is no part of it.
        if (start == 0 && line.Left(3) == "\xEF\xBB\xBF") line = line.Mid(3);
        start = end + 1;
        line.Trim();
        if (line.IsEmpty()) continue;
        CProxyAddress address;
        // A NUL inside a line ends it for the reader: such a line is no entry.
        if (line.str().find('\0') != std::string::npos || !ParseProxyAddress(line, address)) {
            tally.nSkipped++;
            continue;
        }
        if (tally.nFound == PROXY_SOURCE_MAX_ENTRIES) {
            tally.bCut = TRUE;
            break;
        }
        tally.nFound++;
        if (!m_keys.insert(ProxyAddressKey(address).str()).second) {
            tally.nDuplicates++;
            continue;
        }
        m_entries.AddTail(line);
    }
    return tally;
}

CString FormatProxySourcesNotes(const std::vector<CProxySourceOutcome>& outcomes)
{
    CString notes;
    int nAnswered = 0;
    CString failed;
    long long nSkipped = 0;
    for (const CProxySourceOutcome& outcome : outcomes) {
        if (!outcome.bAnswered) {
            failed += (failed.IsEmpty() ? "" : ", ") + outcome.strSource;
            continue;
        }
        nAnswered++;
        nSkipped += outcome.tally.nSkipped;
        CString cut;
        if (outcome.tally.bCut)
            cut.Format("%s was cut at %s entries.\r\n", outcome.strSource.GetString(),
                       Thousands(PROXY_SOURCE_MAX_ENTRIES).GetString());
        else if (outcome.bCutAtBytes)
            cut.Format("%s was cut at %u MB.\r\n", outcome.strSource.GetString(),
                       static_cast<unsigned>(PROXY_SOURCE_MAX_BYTES / (1024 * 1024)));
        notes += cut;
    }
    if (!failed.IsEmpty()) {
        CString line;
        line.Format("%d of %d sources answered; failed: %s\r\n", nAnswered, static_cast<int>(outcomes.size()),
                    failed.GetString());
        notes = line + notes;
    }
    if (nSkipped > 0)
        notes += CountOf(nSkipped, "line", "lines") +
                 (nSkipped == 1 ? " without a proxy was skipped.\r\n" : " without a proxy were skipped.\r\n");
    return notes;
}
