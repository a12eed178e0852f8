// Writes the stored proxy test results off the window's thread. Writing
// "proxytest.ini" after a test of a whole list (tens of thousands of lines)
// takes long enough to stall the settings window, so the window hands over a
// copy and goes on. One writer at a time, in the order the copies came: a
// copy handed in while another is being written replaces any copy still
// waiting, since the newest holds everything the older one did.
#pragma once

#include "framework/core/thread_api.h"
#include "proxylist/proxy_results.h"

#include <memory>
#include <mutex>

class CProxyResultsWriter {
public:
    CProxyResultsWriter() = default;
    ~CProxyResultsWriter(); // Flush()
    CProxyResultsWriter(const CProxyResultsWriter&) = delete;
    CProxyResultsWriter& operator=(const CProxyResultsWriter&) = delete;

    // Takes a copy of the results to write to pszPath. When no thread can be
    // made, writes them here and now instead. Called from one thread.
    void Save(const CProxyResults& results, LPCTSTR pszPath);

    // Returns once every copy handed in is in its file: the program calls it
    // before it ends, so nothing handed in is lost.
    void Flush();

    // Whether the last copy written went in whole.
    BOOL LastSaveSucceeded() const;

private:
    static unsigned int Run(void* pParam);

    struct CPending {
        CProxyResults results;
        CString strPath;
    };
    mutable std::mutex m_lock;
    std::unique_ptr<CPending> m_pPending; // under m_lock
    BOOL m_bWriting = FALSE;              // under m_lock: the thread takes the next copy
    BOOL m_bLastOk = TRUE;                // under m_lock
    CJoinableThread m_thread;
};
