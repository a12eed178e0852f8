// Reading every list source within one deadline, and the one list they give.
#include "proxy_sources_update.h"

#include "download.h"
#include "framework/core/file.h"
#include "framework/core/file_system.h"
#include "framework/core/thread_api.h"
#include "proxy_list_file.h"

#include <memory>
#include <string>

namespace {

// Time kept back from the web sources for the merge and the file.
const DWORD kMergeRoomMs = 3000;

// One web source on a thread of its own: a list server that hangs must not
// hold up the others, which all share the one deadline.
struct CSourceRead {
    CString strSource;
    const CNetDeadline* pDeadline = nullptr;
    const CUpstreamConfig* pRoute = nullptr;
    CString strText;
    BOOL bCut = FALSE;
    BOOL bRead = FALSE;
    CJoinableThread thread;
};

unsigned int ReadWebSource(void* pParam)
{
    CSourceRead& read = *static_cast<CSourceRead*>(pParam);
    read.bRead = DownloadSourceText(read.strSource, read.strText, read.bCut, nullptr, read.pDeadline, read.pRoute);
    return 0;
}

} // namespace

BOOL ReadProxySourceFile(LPCTSTR pszPath, CString& rText, BOOL& rbCut)
{
    rText.Empty();
    rbCut = FALSE;
    CFile file;
    if (!file.Open(pszPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) return FALSE;
    std::string text;
    try {
        char buffer[65536];
        for (UINT n; (n = file.Read(buffer, sizeof buffer)) > 0;) {
            if (text.size() + n > PROXY_SOURCE_MAX_BYTES) {
                text.append(buffer, PROXY_SOURCE_MAX_BYTES - text.size());
                rbCut = TRUE;
                break;
            }
            text.append(buffer, n);
        }
        file.Close();
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        return FALSE;
    }
    if (rbCut) {
        size_t lf = text.rfind('\n');
        text.resize(lf == std::string::npos ? 0 : lf + 1);
    }
    rText = CString(text);
    return TRUE;
}

void UpdateProxyListFromSources(const CStringList& sources, LPCTSTR pszMyProxiesPath, LPCTSTR pszListFile,
                                CProxySourcesUpdate& rUpdate, const CNetDeadline* pDeadline,
                                const CUpstreamConfig* pRoute)
{
    rUpdate.result = PROXY_LIST_DOWNLOAD_FAILED;
    rUpdate.entries.RemoveAll();
    rUpdate.outcomes.clear();
    rUpdate.strDetail.Empty();
    // The web sources stop a little before the job must end, so what they
    // gave is merged and kept in time even when one of them hangs.
    std::unique_ptr<CNetDeadline> pSources;
    if (pDeadline) {
        DWORD dwLeft = pDeadline->RemainingMs();
        pSources.reset(new CNetDeadline(dwLeft > 2 * kMergeRoomMs ? dwLeft - kMergeRoomMs : dwLeft / 2, pDeadline));
    }
    std::vector<std::unique_ptr<CSourceRead>> reads;
    for (POSITION pos = sources.GetHeadPosition(); pos;) {
        const CString& source = sources.GetNext(pos);
        if (CString(pszMyProxiesPath).CompareNoCase(source) == 0 && !CwFileExists(source)) continue;
        std::unique_ptr<CSourceRead> read(new CSourceRead);
        read->strSource = source;
        read->pDeadline = pSources.get();
        read->pRoute = pRoute;
        if (IsUrlSource(source)) {
            // Without a thread it is read here, after the others started.
            if (!read->thread.Start(ReadWebSource, read.get())) ReadWebSource(read.get());
        } else {
            read->bRead = ReadProxySourceFile(source, read->strText, read->bCut);
        }
        reads.push_back(std::move(read));
    }
    // Each download gives up by itself once the deadline has passed.
    for (auto& read : reads) read->thread.Join();

    CProxyListMerge merge;
    for (auto& read : reads) {
        CProxySourceOutcome outcome;
        outcome.strSource = read->strSource;
        outcome.bCutAtBytes = read->bCut;
        if (read->bRead) {
            outcome.tally = merge.AddText(read->strText);
            // An answer without a single proxy (an error page, a login
            // portal) is no list; the user's own file may still be empty.
            outcome.bAnswered = outcome.tally.nFound > 0 || !IsUrlSource(read->strSource);
        }
        rUpdate.outcomes.push_back(outcome);
    }
    // A job whose owner let go of it must not replace the list behind the
    // owner's back, and sources that gave nothing leave the old list.
    if (merge.GetCount() == 0 || (pDeadline && pDeadline->IsCancelled())) {
        rUpdate.result = PROXY_LIST_DOWNLOAD_FAILED;
        return;
    }
    if (!WriteProxyListFile(pszListFile, merge.GetEntries(), &rUpdate.strDetail)) {
        rUpdate.result = PROXY_LIST_FILE_FAILED;
        return;
    }
    for (POSITION pos = merge.GetEntries().GetHeadPosition(); pos;)
        rUpdate.entries.AddTail(merge.GetEntries().GetNext(pos));
    rUpdate.result = PROXY_LIST_UPDATED;
}

BOOL AddToMyProxies(LPCTSTR pszMyProxiesPath, const CString& strText, CProxySourceTally& rTally, int& rnAdded,
                    CString* pstrError)
{
    rnAdded = 0;
    CProxyListMerge merge;
    CStringList kept;
    if (CwFileExists(pszMyProxiesPath)) {
        // The file's own lines stay as they are, comments and all.
        if (!ReadProxyListFile(pszMyProxiesPath, kept)) {
            if (pstrError) *pstrError = "The file could not be read.";
            return FALSE;
        }
        CString text;
        for (POSITION pos = kept.GetHeadPosition(); pos;) text += kept.GetNext(pos) + "\n";
        merge.AddText(text);
    }
    const int nBefore = merge.GetCount();
    rTally = merge.AddText(strText);
    rnAdded = merge.GetCount() - nBefore;
    if (rnAdded == 0) return TRUE;
    POSITION pos = merge.GetEntries().GetHeadPosition();
    for (int i = 0; i < nBefore; ++i) merge.GetEntries().GetNext(pos);
    while (pos) kept.AddTail(merge.GetEntries().GetNext(pos));
    return WriteProxyListFile(pszMyProxiesPath, kept, pstrError);
}

CString FormatProxySourcesUpdateText(const CProxySourcesUpdate& update)
{
    CString text = GetProxyListUpdateText(update.result);
    if (update.result == PROXY_LIST_FILE_FAILED && !update.strDetail.IsEmpty()) text += "\r\n" + update.strDetail;
    CString notes = FormatProxySourcesNotes(update.outcomes);
    if (!notes.IsEmpty()) text += "\r\n" + notes;
    return text;
}
