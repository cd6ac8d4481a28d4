#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform {
namespace {

double ScaleFromEnvironment()
{
    const char* text = std::getenv("FLASHDESK_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 1.0) || value > 1e6) return 1.0;
    return value;
}

std::atomic<double>& ScaleSlot()
{
    static std::atomic<double> scale{ScaleFromEnvironment()};
    return scale;
}

// Real microseconds until `deadlineMs` of scaled time, 0 when it has passed.
uint64_t RealMicrosecondsUntil(uint64_t deadlineMs, uint64_t nowMs)
{
    if (deadlineMs <= nowMs) return 0;
    const double us = static_cast<double>(deadlineMs - nowMs) * 1000.0 / TimeScale();
    // Capped at about eleven days, far inside what a time point holds.
    return us > 1e12 ? static_cast<uint64_t>(1e12) : static_cast<uint64_t>(us);
}

// The monotonic clock sped up by the time scale.
class ScaledClock final : public Clock {
public:
    uint64_t NowMs() override
    {
        using namespace std::chrono;
        const double realMs = duration<double, std::milli>(steady_clock::now() - start_).count();
        return static_cast<uint64_t>(realMs * TimeScale());
    }

    bool WaitUntil(uint64_t deadlineMs, const std::function<bool()>& done) override
    {
        // The real end is fixed at the start, as a sleep's length is.
        const auto realEnd = RealEnd(deadlineMs);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (done && done()) return true;
            if (std::chrono::steady_clock::now() >= realEnd) return false;
            changed_.wait_until(lock, realEnd);
        }
    }

    void Notify() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changed_.notify_all();
    }

    bool WaitOutside(uint64_t deadlineMs, uint64_t pollUs, const OutsidePoll& poll) override
    {
        if (deadlineMs == kNoDeadline) return poll(pollUs);
        const auto realEnd = RealEnd(deadlineMs);
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            const uint64_t left =
                now >= realEnd ? 0 : static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(realEnd - now).count());
            if (poll(left)) return true;
            if (left == 0 || std::chrono::steady_clock::now() >= realEnd) return false;
        }
    }

    uint32_t ReplyFloorMs() const override { return kReplyFloorMs; }

private:
    std::chrono::steady_clock::time_point RealEnd(uint64_t deadlineMs)
    {
        return std::chrono::steady_clock::now() + std::chrono::microseconds(RealMicrosecondsUntil(deadlineMs, NowMs()));
    }

    // Beyond any delivery delay on loopback of a busy two-core machine
    // running sanitizers. At scale 1 it changes nothing: a window shorter
    // than this keeps its own length.
    static constexpr uint32_t kReplyFloorMs = 200;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable changed_;
};

ScaledClock& DefaultClock()
{
    static ScaledClock clock;
    return clock;
}

std::atomic<Clock*>& ClockSlot()
{
    static std::atomic<Clock*> clock{nullptr};
    return clock;
}

uint64_t RealMicrosecondsNow()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

ReplyWindow::ReplyWindow(uint32_t windowMs)
    : clockEndMs_(MonotonicMs() + windowMs),
      realEndUs_(RealMicrosecondsNow() + 1000ull * std::min(windowMs, CurrentClock().ReplyFloorMs()))
{
}

bool ReplyWindow::Open() const { return MonotonicMs() < clockEndMs_ || RealMicrosecondsNow() < realEndUs_; }

Clock& CurrentClock()
{
    Clock* installed = ClockSlot().load();
    return installed != nullptr ? *installed : DefaultClock();
}

void UseClock(Clock* clock) { ClockSlot().store(clock); }

double TimeScale() { return ScaleSlot().load(); }

void SetTimeScale(double scale)
{
    ScaleSlot().store(scale >= 1.0 ? scale : 1.0);
    DefaultClock().Notify();
}

uint64_t ScaledMicroseconds(uint32_t ms) { return static_cast<uint64_t>(static_cast<double>(ms) * 1000.0 / TimeScale()); }

uint64_t MonotonicMs() { return CurrentClock().NowMs(); }

void SleepMs(uint32_t ms)
{
    Clock& clock = CurrentClock();
    clock.WaitUntil(clock.NowMs() + ms, nullptr);
}

bool WaitOutsideFor(uint32_t timeoutMs, const Clock::OutsidePoll& poll)
{
    Clock& clock = CurrentClock();
    return clock.WaitOutside(clock.NowMs() + timeoutMs, 0, poll);
}

void PollPause(uint64_t realUs)
{
    CurrentClock().WaitOutside(kNoDeadline, realUs, [](uint64_t us) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        return false;
    });
}

}  // namespace platform
