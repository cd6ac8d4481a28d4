// Monotonic clock, sleep and the time scale through which every specified
// wait of the host runs. FLASHDESK_TIME_SCALE=N makes time run N times
// faster: sleeps last 1/N of their nominal length and the clock advances N
// times faster, so protocol constants stay as specified in the code.
#pragma once

#include <cstdint>

namespace platform {

// The scale in force: FLASHDESK_TIME_SCALE when it holds a number >= 1,
// otherwise 1. Read once, on first use.
double TimeScale();

// Replaces the scale for the rest of the process (tests, simulators).
void SetTimeScale(double scale);

// Milliseconds of scaled time since an arbitrary start.
uint64_t MonotonicMs();

// Sleeps for `ms` milliseconds of scaled time.
void SleepMs(uint32_t ms);

// Real (unscaled) microseconds that `ms` milliseconds of scaled time last.
uint64_t ScaledMicroseconds(uint32_t ms);

}  // namespace platform
