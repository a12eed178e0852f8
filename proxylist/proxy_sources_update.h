// The list update from every source: the vendor's list, the user's own
// file and the sources the user named, read within one deadline into one
// list that names each proxy once. The list file is replaced only when at
// least one source gave a proxy; a source that failed is named, and the
// others still count.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/string_list.h"
#include "net_deadline.h"
#include "proxy_list_update.h"
#include "proxy_sources.h"

#include <vector>

// What the first run says when no source gave a proxy: where to add one.
#define PROXY_SOURCES_NONE_ANSWERED_FIRST_RUN_TEXT                                                                     \
    "No proxy list could be read. Add a list under \"Proxy Sources...\" in the settings, or put your own proxies "     \
    "(one host:port per line) in the file %s, then press \"Update Proxy List Now\"."

struct CProxySourcesUpdate {
    ProxyListUpdateResult result = PROXY_LIST_DOWNLOAD_FAILED;
    CStringList entries;                       // the new list, when PROXY_LIST_UPDATED
    std::vector<CProxySourceOutcome> outcomes; // one per source read, in order
    CString strDetail;                         // the file error's own text, for PROXY_LIST_FILE_FAILED
};

// Reads a file source: at most PROXY_SOURCE_MAX_BYTES of it (rbCut tells
// whether there was more, and the cut line is dropped). FALSE when it
// cannot be opened or read.
BOOL ReadProxySourceFile(LPCTSTR pszPath, CString& rText, BOOL& rbCut);

// Reads every source (the web ones side by side, each bounded by
// pDeadline), merges them in order and, when they gave a proxy, writes the
// list file in one step. The web sources go along pRoute (see DownloadText;
// null: direct). pszMyProxiesPath is the user's own file: while it
// does not exist it is no source and no failure.
void UpdateProxyListFromSources(const CStringList& sources, LPCTSTR pszMyProxiesPath, LPCTSTR pszListFile,
                                CProxySourcesUpdate& rUpdate, const CNetDeadline* pDeadline = nullptr,
                                const CUpstreamConfig* pRoute = nullptr);

// Adds the proxies a text holds (a file the user imported, the clipboard)
// to the user's own file, after what it holds already: each proxy once,
// as the text gave it. rTally says what the text held; rnAdded how many
// were new. FALSE, with pstrError (when given) saying why, when the file
// could not be written; it then stays as it was.
BOOL AddToMyProxies(LPCTSTR pszMyProxiesPath, const CString& strText, CProxySourceTally& rTally, int& rnAdded,
                    CString* pstrError = nullptr);

// The message after the update: the result's own text, then the notes on
// the sources (FormatProxySourcesNotes).
CString FormatProxySourcesUpdateText(const CProxySourcesUpdate& update);
