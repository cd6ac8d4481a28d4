// A stop request that a worker thread checks at its safe points and that
// cuts its sleeps short. Workers are stopped this way, never suspended or
// terminated from outside.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class StopSignal {
public:
    void Request();
    bool Requested() const { return requested_.load(); }
    // Sleeps `ms` milliseconds of clock time; returns false at once when a
    // stop is (or becomes) requested.
    bool SleepFor(uint32_t ms);

private:
    std::atomic<bool> requested_{false};
};

}  // namespace platform
