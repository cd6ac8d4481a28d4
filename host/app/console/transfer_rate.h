// The rate of the file under way over the last seconds of clock time, and
// the time its remaining bytes take at that rate, for the status line.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/report_sink.h"

namespace app {

// The span of clock time the rate is taken over, and the least span that
// gives a rate at all.
inline constexpr uint64_t kRateWindowMs = 3000;
inline constexpr uint64_t kRateMinSpanMs = 500;

class TransferRate {
public:
    // A raw-bytes report, taken at the clock's current time. A report of
    // another file starts over; one of size 0 ends the transfer.
    void Add(const platform::TransferBytes& bytes);
    // " | 3.2 MB/s, 0:41 left" (1 MB: 10^6 bytes); empty outside a transfer
    // and while its reports span less than kRateMinSpanMs.
    std::string Text() const;

private:
    struct Sample {
        uint64_t ms = 0;
        uint32_t sent = 0;
    };

    // Oldest first; the first one is the last at or before the window's start.
    std::deque<Sample> samples_;
    uint32_t size_ = 0;
};

}  // namespace app
