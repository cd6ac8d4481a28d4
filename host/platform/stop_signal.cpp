#include "platform/stop_signal.h"

#include <chrono>

#include "platform/clock.h"

namespace platform {

void StopSignal::Request()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
}

bool StopSignal::Requested() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requested_;
}

bool StopSignal::SleepFor(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::microseconds(ScaledMicroseconds(ms)), [this] { return requested_; });
    return !requested_;
}

}  // namespace platform
