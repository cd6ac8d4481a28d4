// Waiting on other threads by polling, for tests and benchmarks: the one
// helper for every wait of a test on something another thread does. A
// wait always has a bound; what must not happen is never asserted after a
// fixed sleep, but checked once the test has driven the system to a point
// where it would have happened.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// True as soon as condition() holds; false once the deadline has passed.
template <typename Condition>
bool PollUntil(std::chrono::steady_clock::time_point deadline, Condition condition,
               std::chrono::microseconds pause = std::chrono::milliseconds(2))
{
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(pause);
    }
    return true;
}

// The same with a bound from now (real time, generous for a loaded machine).
template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    return PollUntil(std::chrono::steady_clock::now() + limit, condition);
}

}  // namespace testing_support
