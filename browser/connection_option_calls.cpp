// The table of calls behind the browser connection options, real by default.
#include "browser/connection_option_calls.h"

#include <cstdlib>

namespace {

CConnectionOptionCalls s_calls = {InternetSetOptionA, std::malloc, std::free, RasEnumEntriesA, InternetQueryOptionA};

} // namespace

const CConnectionOptionCalls& GetConnectionOptionCalls()
{
    return s_calls;
}

CConnectionOptionCalls SwapConnectionOptionCalls(const CConnectionOptionCalls& calls)
{
    CConnectionOptionCalls previous = s_calls;
    s_calls = calls;
    return previous;
}
