// Where the browser goes when the chosen upstream proxy stops answering:
// the best tested entry that is at least as good as the one that failed,
// never one that leaks the user's address or changes pages, never direct.
#pragma once

#include "proxy_results.h"

// The entry (its text as the list holds it) to move to from pszFailed: of
// the entries tested elite or anonymous and at least as good as pszFailed
// was (an untested pszFailed asks for no more than anonymous), the best by
// grade and then response time, other than pszFailed itself and other than
// an entry that names no host and port. FALSE, with rChosen empty, when
// there is none.
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
