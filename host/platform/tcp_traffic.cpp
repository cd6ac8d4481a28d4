#include "platform/tcp_traffic.h"

#include <atomic>

#include "platform/tcp_socket.h"

namespace platform {
namespace {

std::atomic<uint64_t> sentBytes{0};
std::atomic<uint64_t> receivedBytes{0};

}  // namespace

namespace traffic {

void CountSent(uint64_t bytes) { sentBytes += bytes; }
void UncountSent(uint64_t bytes) { sentBytes -= bytes; }
void CountReceived(uint64_t bytes) { receivedBytes += bytes; }

}  // namespace traffic

TcpTraffic TcpTrafficTotals()
{
    TcpTraffic totals;
    totals.received = receivedBytes.load();
    totals.sent = sentBytes.load();
    return totals;
}

}  // namespace platform
