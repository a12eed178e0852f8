// CwMonotonicMs over the performance counter (present since Windows XP).
#include "tick_clock.h"

#include <windows.h>

double CwMonotonicMs()
{
    static const double s_dFrequency = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<double>(f.QuadPart) : 0.0;
    }();
    if (s_dFrequency == 0.0) return static_cast<double>(GetTickCount());
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / s_dFrequency;
}
