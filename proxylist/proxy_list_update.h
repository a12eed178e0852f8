// The list update behind "Update Proxy List Now" and the first run: download
// the list and, only when that worked, replace the list file and hand back
// the entries to add. A failed download leaves the file and the entries the
// dialog shows as they were, and says so.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/string_list.h"
#include "net_deadline.h"

struct CUpstreamConfig;

enum ProxyListUpdateResult {
    PROXY_LIST_UPDATED = 0,         // file replaced, new entries handed back
    PROXY_LIST_DOWNLOAD_FAILED = 1, // no connection, name not found, or not a 200 answer
    PROXY_LIST_FILE_FAILED = 2,     // downloaded, but the file could not be replaced
};

// The success text the dialog shows with an empty caption.
#define PROXY_LIST_UPDATED_TEXT "Proxy List Updated"
#define PROXY_LIST_DOWNLOAD_FAILED_TEXT                                                                                \
    "Proxy List Update Failed - the proxy list could not be downloaded. Your current list is unchanged."
#define PROXY_LIST_FILE_FAILED_TEXT                                                                                    \
    "Proxy List Update Failed - the proxy list file could not be written. Your current list is unchanged."

// Downloads the list at pszUrl (along pRoute, see DownloadText; null goes
// straight to the server); an answer without
// a single host:port entry counts as a failed download. On success writes
// it to pszListFile in one step and appends its entries to rNewEntries; on
// any failure touches neither. pstrDetail, when given, gets the file error's
// own text for PROXY_LIST_FILE_FAILED. pDeadline, when given, bounds the
// download (not the file's replacement, which is never cut off halfway).
ProxyListUpdateResult UpdateProxyList(LPCTSTR pszUrl, LPCTSTR pszListFile, CStringList& rNewEntries,
                                      CString* pstrDetail = nullptr, const CNetDeadline* pDeadline = nullptr,
                                      const CUpstreamConfig* pRoute = nullptr);

// What to tell the user about a result: the text, and the caption (empty
// for the success, "Error" for a failure).
LPCTSTR GetProxyListUpdateText(ProxyListUpdateResult result);
LPCTSTR GetProxyListUpdateCaption(ProxyListUpdateResult result);
