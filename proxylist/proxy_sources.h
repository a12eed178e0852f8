// Where the proxy list comes from: the vendor's server, the user's own file
// and the sources the user named (lists on the web, files on disk), read
// into one list of entries that names each proxy once.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/string_list.h"

#include <set>
#include <string>
#include <vector>

// The user's own list, beside the list file: a source that no update
// overwrites, and where "Import File..." and "Paste" put what they find.
#define MY_PROXIES_FILE_NAME "myproxies.txt"

// The most one source may give: bytes of text, and entries.
const size_t PROXY_SOURCE_MAX_BYTES = 16u * 1024u * 1024u;
const int PROXY_SOURCE_MAX_ENTRIES = 100000;

// A few well-known public lists, stored as ProxySources until the user
// changes them. They are third parties: the program vouches for none of
// their proxies.
extern const char* const g_rgszDefaultProxySources[];
extern const int g_nDefaultProxySources;

// TRUE when the UpdateServer setting names a server to ask: not empty, and
// not a name under the reserved ".invalid" domain that installs ship with.
BOOL IsRealUpdateServer(LPCTSTR pszUpdateServer);

// TRUE for an http:// or https:// URL; any other source is a file path.
BOOL IsUrlSource(LPCTSTR pszSource);

// The sources in the order they are read: the vendor's list URL first when
// pszVendorListUrl is not empty, then the user's own file, then each of
// configured (blanks around it trimmed, empty ones dropped, each once).
void ListProxySources(LPCTSTR pszVendorListUrl, LPCTSTR pszMyProxiesPath, const CStringList& configured,
                      CStringList& rSources);

// What one source gave.
struct CProxySourceTally {
    int nFound = 0;      // lines that held a proxy
    int nDuplicates = 0; // of them, proxies an earlier line or source named
    int nSkipped = 0;    // lines that held none (blank ones not counted)
    BOOL bCut = FALSE;   // the entry bound was reached; the rest was not read
};

// Entries of several sources, each proxy once (same scheme, host and port):
// the first line that names it is kept as the source gave it.
class CProxyListMerge {
public:
    // Reads one source's text, LF or CR LF lines, up to
    // PROXY_SOURCE_MAX_ENTRIES proxies of its own.
    CProxySourceTally AddText(const CString& strText);
    const CStringList& GetEntries() const { return m_entries; }
    int GetCount() const { return m_entries.GetCount(); }

private:
    std::set<std::string> m_keys;
    CStringList m_entries;
};

// How reading one source went, for the message at the end.
struct CProxySourceOutcome {
    CString strSource;
    BOOL bAnswered = FALSE;
    BOOL bCutAtBytes = FALSE; // the text stopped at PROXY_SOURCE_MAX_BYTES
    CProxySourceTally tally;
};

// "1 proxy", "16,000 proxies": the count with its thousands separated by
// commas, and the noun in the singular when the count is one.
CString CountOf(long long n, LPCTSTR pszOne, LPCTSTR pszMany);

// What the status line says once the first start has read the lists, in
// the counts given: "16,000 proxies from 3 lists. Press "Test All Proxies"
// to find the ones that work."
CString FormatFirstStartText(int nProxies, int nLists);

// The message after a read of every source: what answered and what failed
// ("2 of 3 sources answered; failed: ..."), the sources cut short, and the
// lines skipped. Empty when every source answered in full with nothing to
// skip.
CString FormatProxySourcesNotes(const std::vector<CProxySourceOutcome>& outcomes);
