// The look around before a failover: when the proxy in force has failed
// connection after connection, does another entry work, does the chosen one
// work again, or does nothing work at all (the user's own network down)?
// Each proxy is asked as a test asks it: a request for the judge through
// it, never one straight to the judge, so a proxy that takes connections
// and answers nothing (or refuses the account) does not pass for working.
#pragma once

#include "framework/core/string_list.h"
#include "net_deadline.h"
#include "proxy_grade.h"

#include <vector>

enum EFailoverProbe {
    FAILOVER_PROBE_CANDIDATE_ANSWERS, // move to the candidate that answered
    FAILOVER_PROBE_CHOSEN_ANSWERS,    // the proxy in force works again: nothing to do
    FAILOVER_PROBE_OTHERS_ANSWER,     // the network works, the proxy in force does not, and no candidate does
    FAILOVER_PROBE_NOTHING_ANSWERS    // nobody answers: the network, most likely
};

// What asking through one proxy showed.
enum EProxyFault {
    PROXY_FAULT_NONE,    // the judge's answer came through
    PROXY_FAULT_REFUSED, // no connection: refused, unreachable, or its name not found
    PROXY_FAULT_SILENT,  // it took the connection and answered nothing in time
    PROXY_FAULT_ACCOUNT, // it refused the account, or wants one
    PROXY_FAULT_ERROR,   // it answered the request with an error
    PROXY_FAULT_NO_HTTPS // it refuses the tunnels secure pages need
};

// "refused the connections", "did not answer", "refused the account",
// "answered every request with an error", "does not carry secure (https)
// pages": why browsing through a proxy stopped, for the notices.
LPCTSTR ProxyFaultText(EProxyFault eFault);

struct CFailoverProbe {
    CString strJudgeUrl;    // the judges (blank separated); the first is asked
    CString strChosen;      // the entry in force
    BOOL bAskChosen = TRUE; // FALSE: it works for pages and fails only at tunnels
    // Secure pages must go on working (the one in force carried them, or
    // it is its tunnels that fail): a candidate answers only once its
    // tunnel to the list's https:// judge carried HTTPS too.
    BOOL bNeedHttps = FALSE;
    std::vector<CString> candidates; // the entries failover may move to, best first
    std::vector<CString> others;     // a few more entries, asked only when none of the above answers
};

struct CFailoverFinding {
    EFailoverProbe eFound = FAILOVER_PROBE_NOTHING_ANSWERS;
    CString strCandidate;                        // the candidate that answered
    EProxyFault eChosenFault = PROXY_FAULT_NONE; // what asking through the chosen one showed
    // The candidates whose tunnel was tried, and what came of it: news for
    // their stored results.
    struct CTunnelTried {
        CString strEntry;
        EHttpsOutcome eHttps;
    };
    std::vector<CTunnelTried> tunnels;
};

// Asks the candidates in order until one answers, then the proxy in force
// (which, answering, keeps its place), then the others. Every wait is bounded by the deadline
// (and each proxy by a share of it, so one black hole cannot use all of it).
CFailoverFinding RunFailoverProbe(const CFailoverProbe& probe, const CNetDeadline& deadline);

// One proxy asked for the judge of pszJudgeUrl within dwLimitMs (and the
// deadline): PROXY_FAULT_NONE when a 200 answer came back, else why not.
EProxyFault AskThroughProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, DWORD dwLimitMs);

// The entries to ask besides those: up to nCount entries of the list in
// the proxy choice's order (the tested best first, the dead last), other
// than the chosen one, the candidates and the program's own listener.
void PickProbeOthers(const CStringList& entries, const class CProxyResults& results, LPCTSTR pszChosen,
                     const std::vector<CString>& candidates, int nCount, std::vector<CString>& rOthers);
