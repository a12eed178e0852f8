// Eventually(condition): polls until the condition holds or a minute has
// passed. The bound only keeps a broken build from hanging a test; it
// measures nothing.
#pragma once

#include <chrono>
#include <thread>

template <class Condition>
bool Eventually(Condition condition)
{
    for (int i = 0; i < 6000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}
