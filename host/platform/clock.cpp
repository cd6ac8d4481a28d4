#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
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

}  // namespace

double TimeScale() { return ScaleSlot().load(); }

void SetTimeScale(double scale) { ScaleSlot().store(scale >= 1.0 ? scale : 1.0); }

uint64_t MonotonicMs()
{
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    const double realMs = duration<double, std::milli>(steady_clock::now() - start).count();
    return static_cast<uint64_t>(realMs * TimeScale());
}

uint64_t ScaledMicroseconds(uint32_t ms)
{
    return static_cast<uint64_t>(static_cast<double>(ms) * 1000.0 / TimeScale());
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::microseconds(ScaledMicroseconds(ms)));
}

}  // namespace platform
