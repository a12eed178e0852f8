// Where the browser goes when the chosen upstream proxy stops answering:
// the best tested entry that is at least as good as the one that failed,
// never one that leaks the user's address or changes pages, never direct.
#pragma once

#include "proxy_results.h"

#include <vector>

// The port the program's own proxy listens on, on 127.0.0.1.
const int OWN_LISTENER_PORT = 8080;

// TRUE for an entry that names the program's own listener: a loopback host
// ("localhost", any 127.x address, ...) on OWN_LISTENER_PORT. Asked through,
// it answers with whatever upstream is in force, so it is never tested,
// graded or moved to.
BOOL NamesOwnListener(LPCTSTR pszEntry);

// TRUE for the entry of Tor on this machine: the list's "(Tor)" entry, or a
// SOCKS5 proxy on a loopback host at Tor's ports (9050, 9150). Failover
// never moves away from it: no list proxy hides the user as Tor does.
BOOL IsTorEntry(LPCTSTR pszEntry);

// The entries failover may move to from pszFailed, best first, at most
// nMax: tested elite or anonymous and at least as good as pszFailed was
// (an untested pszFailed asks for no more than anonymous); carrying secure
// pages when pszFailed did or when bNeedHttps; never pszFailed itself, an
// entry that names no host and port, nor the program's own listener. Of
// those, the ones that carried secure pages come first, each group in the
// order of the ranking. None when pszFailed is Tor.
void PickFailoverCandidates(const CStringList& entries, const CProxyResults& results, LPCTSTR pszFailed,
                            BOOL bNeedHttps, int nMax, std::vector<CString>& rCandidates);

// The first of those (any HTTPS outcome asked for); FALSE, with rChosen
// empty, when there is none.
BOOL PickFailoverEntry(const CStringList& entries, const CProxyResults& results, LPCTSTR pszFailed, CString& rChosen);

// What the proxy list, the tip and the notices say of an entry's stored
// result: "(elite, 42 ms)" with the connect time, the figure the result box
// gives as its "Response Time"; "(dead)"; empty when the entry is untested.
CString FormatProxyState(LPCTSTR pszEntry, const CProxyResults& results);
// The proxy list's line for an entry: the entry, then its state when it has
// one. Only for the screen: EntryFromChoiceText gives the entry back.
CString FormatProxyChoice(LPCTSTR pszEntry, const CProxyResults& results);
// The entry a line of the proxy list names: the state mark that
// FormatProxyChoice (or the ranking) put after it taken off; any other text
// the entry had stays.
CString EntryFromChoiceText(const CString& strText);

// The tray tip for the state of anonymous browsing, at most 127 characters:
// "Cloakwall: anonymous browsing off" when pszProxy is null or empty, else
// "Cloakwall: on via host:port (elite, 42 ms)", "(untested)" when there is
// no result. A long host is cut, never the text after it.
CString FormatStateTip(LPCTSTR pszProxy, const CProxyResults& results);
