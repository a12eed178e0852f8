// The settings that name a proxy entry, ProxyName and TMPProxy, hold it
// without its password (HKEY_LOCAL_MACHINE is readable by every user of the
// machine); the password goes to the user's credential store and is joined
// back when the entry is used (proxylist/proxy_account.h).
#pragma once

#include "framework/core/cstring.h"

// Stores the entry as ProxyName, its password apart. FALSE when the
// registry or the credential store refused it.
BOOL StoreProxyName(LPCTSTR pszEntry);

// Stores the entry as TMPProxy (the add-proxy dialog's hand-over), its
// password apart. FALSE when the registry or the credential store refused it.
BOOL StoreTmpProxy(LPCTSTR pszEntry);

// Moves the passwords that ProxyName and TMPProxy still hold (written by an
// earlier version) to the credential store and rewrites the values without
// them. A password the store refuses stays where it was, so nothing is lost.
void MoveSettingPasswords();
