// POSIX half of proxy-harness's platform needs: stop signals taken with
// sigwait.
#include "tools/harness_platform.h"

#include <csignal>
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
