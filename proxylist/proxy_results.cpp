// The results file through CCfgFile, and the ranking.
#include "proxy_results.h"

#include "cfgfile/cfg_file.h"
#include "proxy_address.h"
#include "proxy_entry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

CString ProxyResultsFilePath(LPCTSTR pszAppFolder)
{
    CString strPath(pszAppFolder);
    if (!strPath.IsEmpty() && strPath.Right(1) != "\\" && strPath.Right(1) != "/") strPath += "\\";
    return strPath + PROXY_RESULTS_FILE_NAME;
}

CString ProxyResultKey(LPCTSTR pszEntry)
{
    CProxyAddress address;
    ReadProxyEntry(pszEntry, address);
    address.strHost.Trim();
    // HTTP proxies keep the "host:port" the file has always held; a SOCKS
    // one is told apart by its scheme, since one host and port may serve
    // both kinds. Never the account.
    if (IsSocksScheme(address.scheme))
        address.strHost = CString(ProxySchemeName(address.scheme)) + "://" + address.strHost;
    CString strKey;
    strKey.Format("%s:%d", address.strHost.GetString(), address.nPort);
    return strKey;
}

BOOL CProxyResults::Lookup(LPCTSTR pszEntry, CStoredProxyResult& rResult) const
{
    auto it = m_results.find(ProxyResultKey(pszEntry).str());
    if (it == m_results.end()) return FALSE;
    rResult = it->second;
    return TRUE;
}

void CProxyResults::Set(LPCTSTR pszEntry, const CStoredProxyResult& result)
{
    m_results[ProxyResultKey(pszEntry).str()] = result;
}

void CProxyResults::Merge(const std::vector<CProxyBatchResult>& results, long long nTestedAt)
{
    for (const CProxyBatchResult& one : results) {
        if (one.report.eGrade == PROXY_GRADE_UNTESTED) continue;
        CStoredProxyResult stored;
        stored.eGrade = one.report.eGrade;
        stored.nConnectMs = one.report.nConnectMs;
        stored.nResponseMs = one.report.nResponseMs;
        stored.dKBPerSec = one.report.dKBPerSec;
        stored.nTestedAt = nTestedAt;
        stored.strGiveaways = one.report.strGiveaways;
        stored.eHttps = one.report.eHttps;
        Set(one.strEntry, stored);
    }
}

void CProxyResults::KeepOnly(const CStringList& entries)
{
    std::map<std::string, CStoredProxyResult> kept;
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        std::string strKey = ProxyResultKey(entries.GetNext(pos)).str();
        auto it = m_results.find(strKey);
        if (it != m_results.end()) kept[strKey] = it->second;
    }
    m_results.swap(kept);
}

BOOL CProxyResults::Load(LPCTSTR pszPath)
{
    m_results.clear();
    FILE* pProbe = std::fopen(pszPath, "r");
    if (!pProbe) return TRUE;
    std::fclose(pProbe);
    CCfgFile file;
    if (file.Load(pszPath) != CFG_OK) return FALSE;
    if (file.SelectSection(PROXY_RESULTS_SECTION) != CFG_OK) return TRUE;
    while (file.NextItem() == CFG_OK) {
        if (file.GetTokenCount() < 6) continue;
        CStoredProxyResult result;
        result.eGrade = ProxyGradeFromName(file.GetToken(1));
        if (result.eGrade == PROXY_GRADE_UNTESTED) continue;
        file.GetInt(2, &result.nConnectMs);
        file.GetInt(3, &result.nResponseMs);
        result.dKBPerSec = std::atof(file.GetToken(4));
        result.nTestedAt = std::atoll(file.GetToken(5));
        result.strGiveaways = file.GetToken(6);
        // Files written before the HTTPS column load as untested there.
        if (file.GetTokenCount() > 7) result.eHttps = HttpsOutcomeFromName(file.GetToken(7));
        m_results[file.GetToken(0).str()] = result;
    }
    return TRUE;
}

BOOL CProxyResults::Save(LPCTSTR pszPath) const
{
    CCfgFile file;
    // A missing file still leaves its path stored for the save.
    file.Load(pszPath);
    file.DeleteSection(PROXY_RESULTS_SECTION);
    BOOL bAll = TRUE;
    // Each new item goes first in its section: add them last to first.
    for (auto it = m_results.rbegin(); it != m_results.rend(); ++it) {
        const CStoredProxyResult& r = it->second;
        // A double quote cannot be stored inside a quoted token.
        if (it->first.find('"') != std::string::npos || r.strGiveaways.Find('"') >= 0) continue;
        CString strLine;
        strLine.Format("\"%s\", %s, %d, %d, %.2f, %lld, \"%s\", %s", it->first.c_str(), ProxyGradeName(r.eGrade),
                       r.nConnectMs, r.nResponseMs, r.dKBPerSec, r.nTestedAt, r.strGiveaways.GetString(),
                       HttpsOutcomeName(r.eHttps));
        if (file.SetItem(PROXY_RESULTS_SECTION, strLine, TRUE) != CFG_OK) bAll = FALSE;
    }
    return file.Save() == CFG_OK && bAll;
}

EProxyGrade RankingGrade(const CStoredProxyResult& result)
{
    if (result.eHttps == HTTPS_TAMPERED && result.eGrade > PROXY_GRADE_TAMPERING) return PROXY_GRADE_TAMPERING;
    return result.eGrade;
}

namespace {

// Sort classes: 0 tested (then by grade), 1 untested, 2 dead.
int RankClass(EProxyGrade eGrade)
{
    if (eGrade == PROXY_GRADE_DEAD) return 2;
    if (eGrade == PROXY_GRADE_UNTESTED) return 1;
    return 0;
}

struct CRanked {
    CString strEntry;
    CStoredProxyResult result;
};

} // namespace

namespace {

std::vector<CRanked> SortByResults(const CStringList& entries, const CProxyResults& results)
{
    std::vector<CRanked> ranked;
    for (POSITION pos = entries.GetHeadPosition(); pos;) {
        CRanked one;
        one.strEntry = entries.GetNext(pos);
        results.Lookup(one.strEntry, one.result);
        ranked.push_back(one);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const CRanked& a, const CRanked& b) {
        int nClassA = RankClass(a.result.eGrade), nClassB = RankClass(b.result.eGrade);
        if (nClassA != nClassB) return nClassA < nClassB;
        if (nClassA != 0) return false;
        EProxyGrade eGradeA = RankingGrade(a.result), eGradeB = RankingGrade(b.result);
        if (eGradeA != eGradeB) return eGradeA > eGradeB;
        if (CarriesHttps(a.result) != CarriesHttps(b.result)) return CarriesHttps(a.result) > CarriesHttps(b.result);
        return a.result.nResponseMs < b.result.nResponseMs;
    });
    return ranked;
}

} // namespace

void RankProxyEntries(const CStringList& entries, const CProxyResults& results, CStringList& rRanked)
{
    std::vector<CRanked> ranked = SortByResults(entries, results);
    rRanked.RemoveAll();
    for (const CRanked& one : ranked)
        rRanked.AddTail(one.result.eGrade == PROXY_GRADE_DEAD ? one.strEntry + PROXY_DEAD_SUFFIX : one.strEntry);
}

void OrderForTesting(const CStringList& entries, const CProxyResults& results, CStringList& rOrdered)
{
    std::vector<CRanked> ranked = SortByResults(entries, results);
    rOrdered.RemoveAll();
    for (const CRanked& one : ranked) rOrdered.AddTail(one.strEntry);
}

CString EntryFromRankedText(const CString& strText)
{
    CString strSuffix(PROXY_DEAD_SUFFIX);
    int nKeep = strText.GetLength() - strSuffix.GetLength();
    if (nKeep >= 0 && strText.Mid(nKeep) == strSuffix) return strText.Left(nKeep);
    return strText;
}
