// What proxy-harness needs of the platform it runs on: a way to wait until
// it is asked to stop, and its own memory figures for the benchmark.
#pragma once

// Blocks signals (POSIX) or installs the console handler (Win32) so that a
// later WaitForStopSignal sees Ctrl-C and termination requests. Call before
// the proxy starts any thread.
void PrepareStopSignals();

// Returns when the process is asked to stop (SIGINT or SIGTERM; Ctrl-C or a
// console close). Returns the name of what asked.
const char* WaitForStopSignal();

// The process's address space in use (reserved or committed) and its
// committed memory, in KB, as the system counts them for it: on Windows
// (and Wine) every region VirtualQuery reports; elsewhere VmSize and VmRSS.
void MeasureOwnMemory(long long& nAddressSpaceKb, long long& nCommittedKb);
