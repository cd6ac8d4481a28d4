#include "platform/stop_signal.h"

#include "platform/clock.h"

namespace platform {

void StopSignal::Request()
{
    requested_.store(true);
    CurrentClock().Notify();
}

bool StopSignal::SleepFor(uint32_t ms)
{
    Clock& clock = CurrentClock();
    return !clock.WaitUntil(clock.NowMs() + ms, [this] { return requested_.load(); });
}

}  // namespace platform
