// The thread seam of the local proxy: starts the short-lived, detached
// threads of a connection (its handler and its two relays). A proxy under
// load starts three of these per browser connection, so the POSIX half asks
// for a small stack: with the platform's default of several megabytes every
// thread start and end maps and unmaps its stack, which halved the proxy's
// rate of new connections in the benchmark. Windows reserves stacks lazily
// and keeps its default.
#pragma once

#include "framework/core/types.h"

typedef unsigned int (*PFN_THREAD_PROC)(void* pParam);

// Runs pfnProc(pParam) on a new detached thread. FALSE when no thread could
// be made; pParam then still belongs to the caller.
BOOL StartDetachedThread(PFN_THREAD_PROC pfnProc, void* pParam);
