// The stand-in proxies of the peers fixture (tests/e2e/lib/standin_proxies.py),
// as the grade tests see them: each kind's entry, and the grade that kind must
// get from the judge.
#pragma once

#include "proxylist/proxy_grade.h"
#include "support/raw_file.h"

#include <sstream>
#include <string>
#include <vector>

struct CStandIn {
    std::string strKind;
    std::string strEntry; // "127.0.0.1:port"
};

// The fixture's "standins.port" (or "judges.port", the stand-in judges of
// tests/e2e/lib/standin_judges.py): one "kind port" pair a line.
inline std::vector<CStandIn> ReadStandIns(const std::string& strPeersDir, const char* pszFile = "standins.port")
{
    std::vector<CStandIn> standIns;
    std::istringstream lines(ReadRaw(strPeersDir + pszFile));
    std::string strKind;
    int nPort = 0;
    while (lines >> strKind >> nPort) standIns.push_back({strKind, "127.0.0.1:" + std::to_string(nPort)});
    return standIns;
}

// What a kind's grade must be; refusing and silent addresses are dead.
inline EProxyGrade ExpectedGrade(const std::string& strKind)
{
    if (strKind == "xff") return PROXY_GRADE_TRANSPARENT;
    if (strKind == "via") return PROXY_GRADE_ANONYMOUS;
    if (strKind == "plain" || strKind == "slow") return PROXY_GRADE_ELITE;
    if (strKind == "inject") return PROXY_GRADE_TAMPERING;
    return PROXY_GRADE_DEAD;
}
