// Proxy entries and the proxy list text: an entry is one line of the list,
// "IpAddress:Port" with whatever the vendor appends after the port number.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/string_list.h"
#include "proxy_address.h"

// Splits an entry at its first colon. The host is the text before it (empty
// when there is none); the port is the number at the start of the text after
// it, or of the whole entry without a colon, read the way atoi reads:
// leading blanks, an optional sign, digits up to the first non-digit, 0 when
// there are none (saturated at the int range instead of overflowing).
void SplitProxyEntry(LPCTSTR pszEntry, CString& rHost, int& rPort);

// The proxy an entry names, as the tester, the list and the switch take it:
// what ParseProxyAddress reads, or, from an entry it reads no address in,
// the split above (an HTTP proxy, no account), so an entry typed the old
// way is tried as it always was.
void ReadProxyEntry(LPCTSTR pszEntry, CProxyAddress& rAddress);

// Appends the entries of a list text to rEntries: one per line, LF or CR LF
// ended, the line end not included. The last line counts even without a
// line end; an empty line is an empty entry.
void AppendListEntries(const CString& strText, CStringList& rEntries);
