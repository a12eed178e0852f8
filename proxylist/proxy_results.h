// The stored results of the proxy tests, kept in "proxytest.ini" beside the
// list file so they survive a restart and a list update, and the order the
// proxy choice lists the entries in. The file is a configuration file of
// the program's own library:
//   [Results]
//   "host:port", grade, connect ms, response ms, KB/sec, tested, "giveaways"
// one item per tested proxy, the grade as ProxyGradeName words it, tested
// in seconds since 1970 (UTC). Lines outside the section are kept.
#pragma once

#include "proxy_batch_test.h"
#include "proxy_grade.h"

#include <map>
#include <string>

#define PROXY_RESULTS_FILE_NAME "proxytest.ini"
#define PROXY_RESULTS_SECTION "Results"
// What the proxy choice shows after a dead entry.
#define PROXY_DEAD_SUFFIX " (dead)"

// The results file's full path in an application folder (with or without
// its closing backslash).
CString ProxyResultsFilePath(LPCTSTR pszAppFolder);

struct CStoredProxyResult {
    EProxyGrade eGrade = PROXY_GRADE_UNTESTED;
    EHttpsOutcome eHttps = HTTPS_UNTESTED;
    int nConnectMs = 0;
    int nResponseMs = 0;
    double dKBPerSec = 0;
    long long nTestedAt = 0; // seconds since 1970, UTC
    CString strGiveaways;
};

class CProxyResults {
public:
    // Replaces what is held with the file's results. A missing file holds
    // none and is no failure; FALSE when the file is there but unreadable.
    BOOL Load(LPCTSTR pszPath);
    // Writes every result into the file's section (the rest of the file
    // stays) in one safe replace. FALSE when it could not be written.
    BOOL Save(LPCTSTR pszPath) const;

    // Results are kept by "host:port", so the vendor's text after the port
    // may change between two lists.
    BOOL Lookup(LPCTSTR pszEntry, CStoredProxyResult& rResult) const;
    void Set(LPCTSTR pszEntry, const CStoredProxyResult& result);
    // Takes in what a batch found; entries it left untested keep their
    // earlier result.
    void Merge(const std::vector<CProxyBatchResult>& results, long long nTestedAt);
    // Drops the results of proxies the list no longer holds.
    void KeepOnly(const CStringList& entries);
    int GetCount() const { return static_cast<int>(m_results.size()); }

private:
    std::map<std::string, CStoredProxyResult> m_results;
};

// The proxy carries the user's secure pages: a verified TLS session went
// through its tunnel at its last test. What failover wants of a proxy to
// move to when the one in force carried them.
inline BOOL CarriesHttps(const CStoredProxyResult& result)
{
    return result.eHttps == HTTPS_CARRIED && result.eGrade > PROXY_GRADE_DEAD;
}

// The grade a result ranks with: a proxy that replaced the judge's
// certificate reads secure pages, so it ranks (and is asked about) as a
// tampering one whatever its plain grade.
EProxyGrade RankingGrade(const CStoredProxyResult& result);

// The key a result is stored under: "host:port" of the entry, or
// "scheme://host:port" for a SOCKS proxy; an account is never part of it.
CString ProxyResultKey(LPCTSTR pszEntry);

// The entries in the order the proxy choice lists them: the tested ones
// best first (elite, anonymous, transparent, tampering, by RankingGrade;
// within a grade those that carry HTTPS first, then by response time), then the untested, then the dead with PROXY_DEAD_SUFFIX after
// them; the list's own order among equals.
void RankProxyEntries(const CStringList& entries, const CProxyResults& results, CStringList& rRanked);

// The entries in the order "Test All Proxies" takes them: the same order,
// without the marks, so a batch cut short by its deadline has graded the
// proxies that answered before rather than whichever came first in the
// list.
void OrderForTesting(const CStringList& entries, const CProxyResults& results, CStringList& rOrdered);

// The entry a ranked text names (the dead suffix taken off).
CString EntryFromRankedText(const CString& strText);
