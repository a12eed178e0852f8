// CStopCheck: what a long clean-up job asks between two units of work -
// has the thread it runs on been told to stop? A job given none runs to
// its end.
#pragma once

#include "framework/core/types.h"

class CStopCheck {
public:
    virtual BOOL StopRequested() const = 0;

protected:
    ~CStopCheck() = default;
};

inline BOOL IsStopRequested(const CStopCheck* pStop)
{
    return pStop && pStop->StopRequested();
}
