// Win32 half of proxy-harness's platform needs: Ctrl-C and console close
// through a console handler; memory figures from VirtualQuery.
#include "tools/harness_platform.h"

#include <windows.h>

namespace {

HANDLE g_hStop = nullptr;
volatile LONG g_nEvent = -1;

BOOL WINAPI OnConsoleEvent(DWORD dwEvent)
{
    InterlockedExchange(&g_nEvent, static_cast<LONG>(dwEvent));
    SetEvent(g_hStop);
    // The handler thread must not return before main has stopped the proxy
    // for a close event, or the process ends at once; Ctrl-C is handled.
    return TRUE;
}

} // namespace

void PrepareStopSignals()
{
    g_hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* WaitForStopSignal()
{
    WaitForSingleObject(g_hStop, INFINITE);
    return g_nEvent == CTRL_C_EVENT ? "Ctrl-C" : "console event";
}

void MeasureOwnMemory(long long& nAddressSpaceKb, long long& nCommittedKb)
{
    nAddressSpaceKb = nCommittedKb = 0;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const char* p = static_cast<const char*>(info.lpMinimumApplicationAddress);
    const char* const pEnd = static_cast<const char*>(info.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION mbi;
    while (p < pEnd && VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi && mbi.RegionSize != 0) {
        if (mbi.State != MEM_FREE) nAddressSpaceKb += static_cast<long long>(mbi.RegionSize / 1024);
        if (mbi.State == MEM_COMMIT) nCommittedKb += static_cast<long long>(mbi.RegionSize / 1024);
        p = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    }
}
