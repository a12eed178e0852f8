// The content filter's two switches, EnableJS and EnableActiveX, read for
// every chunk the relays filter. The program installs a source that reads its
// settings objects; tests and the proxy harness set the values directly.
// A switch is on only when its value is exactly 1.
#pragma once

#include "framework/core/types.h"

typedef DWORD (*PFN_READ_FILTER_SWITCH)();

// Reads the switches through these functions from now on. Either may be
// NULL: that switch then comes from the value set by SetFilterSwitches.
void SetFilterSwitchSource(PFN_READ_FILTER_SWITCH pfnEnableJS, PFN_READ_FILTER_SWITCH pfnEnableActiveX);

// Sets the values used where no source function is installed.
void SetFilterSwitches(DWORD dwEnableJS, DWORD dwEnableActiveX);

// The current raw values, from whichever thread asks.
DWORD ReadEnableJS();
DWORD ReadEnableActiveX();
