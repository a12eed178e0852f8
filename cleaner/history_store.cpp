// CUrlCacheCleaner::ClearHistoryStore: the browser's history store, reached
// through COM's URL history object.
#include "url_cache_cleaner.h"

#include <objbase.h>
#include <urlhist.h>

namespace {

// The URL history object and its interface with ClearHistory, by value, so
// that nothing depends on which GUID libraries the toolchain ships.
const CLSID kClsidUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
const IID kIidUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

// In-process server, in-process handler and local server.
const DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

} // namespace

void CUrlCacheCleaner::ClearHistoryStore()
{
    // Only a successful initialisation (S_OK, or S_FALSE when this thread
    // had COM already) is ours to undo: undoing a refused one would tear
    // down an apartment that whoever runs this thread set up for itself.
    HRESULT hrInit = CoInitialize(nullptr);
    IUrlHistoryStg2* pHistory = nullptr;
    try {
        CoCreateInstance(kClsidUrlHistory, nullptr, kClassContext, kIidUrlHistoryStg2,
                         reinterpret_cast<void**>(&pHistory));
        if (pHistory) {
            // Wine answers E_NOTIMPL; there is nothing to do about it here
            // and the visited entries are gone from the cache anyway.
            pHistory->ClearHistory();
            pHistory->Release();
            pHistory = nullptr;
        }
    } catch (...) {
        // Nothing is reported from the cleaner; the next pass tries again.
    }
    if (SUCCEEDED(hrInit)) CoUninitialize();
}
