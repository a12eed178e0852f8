// Tor on this machine: its SOCKS port (9050 for the Tor service, 9150 for
// the Tor Browser bundle) found by the SOCKS5 greeting, and the list entry
// that offers it. The entry lives in memory only, so it goes away when Tor
// does.
#pragma once

#include "framework/core/cstring.h"
#include "proxylist/net_deadline.h"

#include <vector>

// The ports asked, in order. A test puts its own in place (an empty list
// asks nothing); the previous list comes back.
std::vector<WORD> SetTorProbePorts(const std::vector<WORD>& ports);

// "socks5://127.0.0.1:9050 (Tor)": how the list offers Tor on nPort.
CString TorListEntry(WORD nPort);

// TRUE when whatever listens on 127.0.0.1:nPort answers a SOCKS5 greeting
// that offers no account by choosing it, within dwLimitMs.
BOOL AnswersSocks5Greeting(WORD nPort, DWORD dwLimitMs);

// The entry of the first probe port that answers, each asked for at most
// a second and none after the deadline; empty when none does.
CString FindTorEntry(const CNetDeadline& deadline);
