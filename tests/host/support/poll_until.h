// Waiting on other threads by polling, for tests and benchmarks.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// True as soon as condition() holds; false once the deadline has passed.
template <typename Condition>
bool PollUntil(std::chrono::steady_clock::time_point deadline, Condition condition, std::chrono::microseconds pause)
{
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(pause);
    }
    return true;
}

}  // namespace testing_support
