// POSIX half of proxy-harness's platform needs: stop signals taken with
// sigwait; memory figures from /proc.
#include "tools/harness_platform.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

namespace {

sigset_t g_stopSignals;

} // namespace

void PrepareStopSignals()
{
    // Every thread the proxy starts inherits this mask, so none of them is
    // interrupted by a stop signal; sigwait takes them on the main thread.
    sigemptyset(&g_stopSignals);
    sigaddset(&g_stopSignals, SIGINT);
    sigaddset(&g_stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &g_stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

const char* WaitForStopSignal()
{
    int nSignal = 0;
    sigwait(&g_stopSignals, &nSignal);
    return nSignal == SIGINT ? "SIGINT" : "SIGTERM";
}

void MeasureOwnMemory(long long& nAddressSpaceKb, long long& nCommittedKb)
{
    nAddressSpaceKb = nCommittedKb = 0;
    std::FILE* pFile = std::fopen("/proc/self/status", "r");
    if (!pFile) return;
    char line[256];
    while (std::fgets(line, sizeof line, pFile)) {
        if (std::strncmp(line, "VmSize:", 7) == 0) nAddressSpaceKb = std::atoll(line + 7);
        if (std::strncmp(line, "VmRSS:", 6) == 0) nCommittedKb = std::atoll(line + 6);
    }
    std::fclose(pFile);
}
