// The counters behind TcpTrafficTotals(), kept by both socket implementations.
#pragma once

#include <cstdint>

namespace platform::traffic {

void CountSent(uint64_t bytes);
// Bytes that a failed send did not hand over after all.
void UncountSent(uint64_t bytes);
void CountReceived(uint64_t bytes);

}  // namespace platform::traffic
