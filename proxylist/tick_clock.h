// A monotonic millisecond clock for the proxy tester: unlike the 32-bit tick
// count it never wraps, and it resolves far below one tick.
#pragma once

// Milliseconds since an arbitrary start, with fractions.
double CwMonotonicMs();
