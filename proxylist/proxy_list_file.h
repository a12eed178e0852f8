// The proxy list file "proxylist.txt" in the application folder: one entry a
// line, written and read in text mode, so each entry ends with CR LF on disk
// and the file reads back as the same entries.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/string_list.h"

// The file's name; the application folder (ending with "\") goes before it.
#define PROXY_LIST_FILE_NAME "proxylist.txt"

// The list file's full path in an application folder that ends with a
// backslash (one is added when it does not).
CString ProxyListFilePath(LPCTSTR pszAppFolder);

// The user's own list file beside it (see proxy_sources.h).
CString MyProxiesFilePath(LPCTSTR pszAppFolder);

// Reads the whole file, whatever its size, and appends its entries to
// rEntries (the last line counts without a line end too). FALSE, with
// nothing appended, when the file cannot be opened or read.
BOOL ReadProxyListFile(LPCTSTR pszPath, CStringList& rEntries);

// Replaces the file with the given entries in one step: they are written to
// a file beside it, which then takes the list's place. Each entry is written
// without its password, which goes to the credential store (proxy_account.h). On failure the old
// file stays as it was, nothing is left beside it, and pstrError (when given)
// gets the reason.
BOOL WriteProxyListFile(LPCTSTR pszPath, const CStringList& entries, CString* pstrError = nullptr);

// Rewrites a list file that still holds passwords (written by an earlier
// version) without them, the passwords moved to the credential store. TRUE
// when the file holds none now, or there is no file; FALSE, with the file
// left as it was, when the store refused a password or the file could not
// be replaced.
BOOL MoveListFilePasswords(LPCTSTR pszPath);
