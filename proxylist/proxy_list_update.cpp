// UpdateProxyList: download first, then replace the file, then the entries.
#include "proxy_list_update.h"

#include "download.h"
#include "proxy_entry.h"
#include "proxy_list_file.h"

ProxyListUpdateResult UpdateProxyList(LPCTSTR pszUrl, LPCTSTR pszListFile, CStringList& rNewEntries,
                                      CString* pstrDetail, const CNetDeadline* pDeadline, const CUpstreamConfig* pRoute)
{
    if (pstrDetail) pstrDetail->Empty();
    CString text;
    if (!DownloadText(pszUrl, text, nullptr, pDeadline, pRoute) || !HoldsProxyListEntry(text))
        return PROXY_LIST_DOWNLOAD_FAILED;

    // A job whose owner let go of it must not replace the list behind the
    // owner's back.
    if (pDeadline && pDeadline->IsOver()) return PROXY_LIST_DOWNLOAD_FAILED;

    CStringList entries;
    AppendListEntries(text, entries);
    if (!WriteProxyListFile(pszListFile, entries, pstrDetail)) return PROXY_LIST_FILE_FAILED;

    for (POSITION pos = entries.GetHeadPosition(); pos;) rNewEntries.AddTail(entries.GetNext(pos));
    return PROXY_LIST_UPDATED;
}

LPCTSTR GetProxyListUpdateText(ProxyListUpdateResult result)
{
    switch (result) {
    case PROXY_LIST_UPDATED: return PROXY_LIST_UPDATED_TEXT;
    case PROXY_LIST_FILE_FAILED: return PROXY_LIST_FILE_FAILED_TEXT;
    case PROXY_LIST_DOWNLOAD_FAILED:
    default: return PROXY_LIST_DOWNLOAD_FAILED_TEXT;
    }
}

LPCTSTR GetProxyListUpdateCaption(ProxyListUpdateResult result)
{
    return result == PROXY_LIST_UPDATED ? "" : "Error";
}
