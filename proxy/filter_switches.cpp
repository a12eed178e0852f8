// The filter switches: function pointers and fallback values in atomics, so
// the relays can read them while the settings thread changes them.
#include "proxy/filter_switches.h"

#include <atomic>

namespace {

std::atomic<PFN_READ_FILTER_SWITCH> g_pfnEnableJS{nullptr};
std::atomic<PFN_READ_FILTER_SWITCH> g_pfnEnableActiveX{nullptr};
std::atomic<DWORD> g_dwEnableJS{0};
std::atomic<DWORD> g_dwEnableActiveX{0};

} // namespace

void SetFilterSwitchSource(PFN_READ_FILTER_SWITCH pfnEnableJS, PFN_READ_FILTER_SWITCH pfnEnableActiveX)
{
    g_pfnEnableJS.store(pfnEnableJS);
    g_pfnEnableActiveX.store(pfnEnableActiveX);
}

void SetFilterSwitches(DWORD dwEnableJS, DWORD dwEnableActiveX)
{
    g_dwEnableJS.store(dwEnableJS);
    g_dwEnableActiveX.store(dwEnableActiveX);
}

DWORD ReadEnableJS()
{
    PFN_READ_FILTER_SWITCH pfn = g_pfnEnableJS.load();
    return pfn ? pfn() : g_dwEnableJS.load();
}

DWORD ReadEnableActiveX()
{
    PFN_READ_FILTER_SWITCH pfn = g_pfnEnableActiveX.load();
    return pfn ? pfn() : g_dwEnableActiveX.load();
}
