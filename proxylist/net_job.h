// CNetJob: one network job (a list download, a proxy test, a reachability
// check, the generator request) on a thread of its own, with one deadline
// for the whole of it. Its owner never waits for it beyond that deadline:
// once the deadline has passed, or the owner cancelled the job (Exit), the
// owner lets go of it and the job's result is dropped; the thread ends on
// its own as soon as its current wait gives up, touching only what the work
// itself holds.
//
// Why not stop the transfer from outside: under Wine, closing a WinINet
// handle from another thread returns at once but leaves a read that is
// blocked on it blocked until the server ends the connection. The
// routines a job runs therefore wait in steps and look at the deadline
// between them (net_deadline.h), and the owner's bound covers the rest.
#pragma once

#include "net_deadline.h"

#include <windows.h>

#include <functional>

// The deadline of each kind of job, in milliseconds. The program keeps the
// defaults; a test that meets a silent or trickling peer on purpose sets
// short ones.
struct CNetJobLimits {
    DWORD dwListDownloadMs = 20000; // "Update Proxy List Now" and the first run
    DWORD dwProxyTestMs = 15000;    // connect time and speed sample of one entry
    DWORD dwReachabilityMs = 10000; // the check before switching on
    DWORD dwGeneratorMs = 10000;    // the proxy-generator request
    DWORD dwTestAllMs = 60000;      // "Test All Proxies": the whole list
    DWORD dwTestAllEntryMs = 5000;  // each step of one entry, so silent proxies cannot take it all
    int nTestAllParallel = 2500;    // entries of it tested side by side
};
void SetNetJobLimits(const CNetJobLimits& limits);
CNetJobLimits GetNetJobLimits();

class CNetJob {
public:
    // The work: runs on the job's thread, bounded by the deadline it is
    // given. It must use only what it captured (copies, shared results),
    // never the owner, which may be gone by the time it returns.
    typedef std::function<void(const CNetDeadline&)> Work;

    CNetJob() = default;
    ~CNetJob(); // Cancel
    CNetJob(const CNetJob&) = delete;
    CNetJob& operator=(const CNetJob&) = delete;

    // Starts the work with a deadline of dwLimitMs from now, letting go of
    // a job still held first. When the work returns in time, hWndNotify
    // (when given) is posted nMsg with the job's serial number as wParam.
    // FALSE when no thread could be made.
    BOOL Start(DWORD dwLimitMs, Work work, HWND hWndNotify = nullptr, UINT nMsg = 0);

    // Held, and neither finished nor let go of.
    BOOL IsRunning() const;
    // TRUE once the work has returned (and the job is still held).
    BOOL IsFinished() const;
    // Waits until the work returns, the deadline passes or dwMaxMs passed;
    // TRUE when it returned.
    BOOL Wait(DWORD dwMaxMs) const;
    // The serial number of the job held now (0: none). A notice whose
    // serial differs is from a job let go of.
    WPARAM GetSerial() const;
    // Milliseconds until the held job's deadline, 0 when none or over.
    DWORD RemainingMs() const;

    // Sets the job's cancel flag, waits up to dwWaitMs for the work to see
    // it and return, and lets go of the job: its result is no one's.
    void Cancel(DWORD dwWaitMs = 0);

private:
    struct CState;
    CState* m_pState = nullptr;
};
