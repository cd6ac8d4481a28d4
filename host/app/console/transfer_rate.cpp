#include "app/console/transfer_rate.h"

#include <cmath>
#include <cstdio>

#include "platform/clock.h"

namespace app {
namespace {

// "0:41", or "1:02:03" from an hour on.
std::string Duration(uint64_t seconds)
{
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
    }
    return text;
}

}  // namespace

void TransferRate::Add(const platform::TransferBytes& bytes)
{
    const bool sameFile = bytes.size == size_ && !samples_.empty() && bytes.sent >= samples_.back().sent;
    if (!sameFile) samples_.clear();
    size_ = bytes.size;
    if (size_ == 0) return;
    const uint64_t now = platform::MonotonicMs();
    samples_.push_back(Sample{now, bytes.sent});
    while (samples_.size() > 2 && now - samples_[1].ms >= kRateWindowMs) samples_.pop_front();
}

std::string TransferRate::Text() const
{
    if (size_ == 0 || samples_.size() < 2) return {};
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const uint64_t spanMs = last.ms - first.ms;
    if (spanMs < kRateMinSpanMs) return {};
    const double bytesPerSecond = static_cast<double>(last.sent - first.sent) * 1000.0 / static_cast<double>(spanMs);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f MB/s", bytesPerSecond / 1e6);
    std::string text = std::string(" | ") + rate;
    if (bytesPerSecond > 0) {
        const double secondsLeft = std::ceil(static_cast<double>(size_ - last.sent) / bytesPerSecond);
        text += ", " + Duration(static_cast<uint64_t>(secondsLeft)) + " left";
    }
    return text;
}

}  // namespace app
