// A stop request that a worker thread checks at its safe points and that
// cuts its sleeps short. Workers are stopped this way, never suspended or
// terminated from outside.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class StopSignal {
public:
    void Request();
    bool Requested() const;
    // Sleeps `ms` milliseconds of scaled time; returns false at once when a
    // stop is (or becomes) requested.
    bool SleepFor(uint32_t ms);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
};

}  // namespace platform
