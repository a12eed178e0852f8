// Proxy accounts kept apart from the entries: a password never goes to the
// registry or to a file of the program; it lives in the user's credential
// store (credential_store.h) under the entry's scheme, user, host and port,
// and is joined back whenever the entry is used (the local proxy's upstream,
// a test, Test All, failover).
#pragma once

#include "framework/core/cstring.h"
#include "proxylist/proxy_address.h"

// The store's name for an address's account:
// "Cloakwall:<scheme>://<user>@<host>:<port>", the scheme as ProxySchemeName
// gives it, the host in lower case (an IPv6 one in brackets).
CString ProxyAccountTarget(const CProxyAddress& address);

// Keeps the entry's password, if it has one, in the credential store and
// gives in rStored the entry to write instead (ProxyEntryWithoutPassword).
// FALSE when the store refused the password: rStored still holds none, and
// the password then lives only in the memory of this run.
BOOL KeepProxyPassword(LPCTSTR pszEntry, CString& rStored);

// Gives an address that names a user but no password (as written to disk)
// the password kept for it; an address with a password of its own, or
// without a user, stays as it is.
void JoinProxyPassword(CProxyAddress& rAddress);
