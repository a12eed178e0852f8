// The platform calls behind the browser connection options, gathered in one
// small table so a test can stand in for them and see exactly what WinINet
// would be handed, in which order, and which dial-up and VPN entries the
// phone book lists (Wine's lists none). The program never changes the table.
#pragma once

#include <ras.h>
#include <windows.h>
#include <wininet.h>

#include <cstddef>

struct CConnectionOptionCalls {
    BOOL(WINAPI* pfnInternetSetOption)(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, DWORD dwBufferLength);
    // Allocation of the option array; null means out of memory.
    void* (*pfnAlloc)(size_t cb);
    void (*pfnFree)(void* p);
    // RasEnumEntriesA: the dial-up and VPN entries of every phone book.
    DWORD(WINAPI* pfnRasEnumEntries)
    (LPCSTR pszReserved, LPCSTR pszPhonebook, LPRASENTRYNAMEA pEntries, LPDWORD pcb, LPDWORD pcEntries);
    BOOL(WINAPI* pfnInternetQueryOption)(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, LPDWORD pdwBufferLength);
};

// The calls in use: the real WinINet, phone book and heap unless a test
// swapped them.
const CConnectionOptionCalls& GetConnectionOptionCalls();

// Puts a new table in place and returns the one it replaces.
CConnectionOptionCalls SwapConnectionOptionCalls(const CConnectionOptionCalls& calls);
