// The look around before a failover: when the proxy in force has refused
// connection after connection, is it the proxy, or is nothing reachable at
// all (the user's own network down)? Only the first may mark it dead or move
// the choice; the second changes nothing and waits for the network.
#pragma once

#include "framework/core/string_list.h"
#include "net_deadline.h"

#include <vector>

enum EFailoverProbe {
    FAILOVER_PROBE_CANDIDATE_ANSWERS, // move to the candidate
    FAILOVER_PROBE_CHOSEN_ANSWERS,    // the proxy in force answers again: nothing to do
    FAILOVER_PROBE_OTHERS_ANSWER,     // the network works, the proxy in force does not, and no candidate answers
    FAILOVER_PROBE_NOTHING_ANSWERS    // nobody answers: the network, most likely
};

struct CFailoverProbe {
    CString strChosen;           // the entry in force
    CString strCandidate;        // the entry failover would move to; empty when there is none
    std::vector<CString> others; // a few more entries, asked only when neither of the two answers
};

// Asks, in this order and each with a short connect: the candidate, the
// proxy in force, then the others; the first that answers decides. Every
// wait is bounded by the deadline (and each one by a share of it, so one
// black hole cannot use all of it).
EFailoverProbe RunFailoverProbe(const CFailoverProbe& probe, const CNetDeadline& deadline);

// The entries to ask besides the two: up to nCount entries of the list in
// the proxy choice's order (the tested best first, the dead last), other
// than those two.
void PickProbeOthers(const CStringList& entries, const class CProxyResults& results, LPCTSTR pszChosen,
                     LPCTSTR pszCandidate, int nCount, std::vector<CString>& rOthers);
