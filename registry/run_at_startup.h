// The machine-wide Run key: the programs Windows starts at every log-on, one
// named entry each.
#pragma once

#include "framework/core/types.h"

// Relative to HKEY_LOCAL_MACHINE.
#define RUN_AT_STARTUP_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

// Makes the entry pszEntryName start pszCommand. A command equal to the
// stored one writes nothing. An empty or NULL command leaves the entry as it
// is: without a path there is nothing to start, and an entry that someone
// else made (or an earlier install) is not blanked.
void RegisterRunAtStartup(LPCTSTR pszEntryName, LPCTSTR pszCommand);
