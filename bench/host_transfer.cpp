#include "host_transfer.h"

#include "../tests/host/support/poll_until.h"

#include <algorithm>
#include <chrono>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPiece = 1350;
constexpr auto kLimit = std::chrono::seconds(60);
constexpr auto kPollPause = std::chrono::microseconds(100);

template <typename Condition>
bool Until(Clock::time_point deadline, Condition condition)
{
    return testing_support::PollUntil(deadline, condition, kPollPause);
}

}  // namespace

std::optional<HostResult> HostTransfer(devlink::CNetSerial& port, routersim::LinkPeer& peer, const std::vector<uint8_t>& bytes)
{
    peer.ForgetFiles();
    const Clock::time_point begin = Clock::now();
    const Clock::time_point deadline = begin + kLimit;
    const devlink::LinkMessage start = devlink::StartBlock(devlink::kModemImage, static_cast<uint32_t>(bytes.size()));
    if (!Until(deadline, [&] { return port.PostMessage(start) != 0; })) return std::nullopt;
    if (!Until(deadline, [&] { return port.SendDrained(); })) return std::nullopt;
    const Clock::time_point started = Clock::now();
    for (size_t at = 0; at < bytes.size(); at += kPiece) {
        const size_t count = std::min(kPiece, bytes.size() - at);
        if (port.RawWrite(bytes.data() + at, count) != count) return std::nullopt;
    }
    if (!Until(deadline, [&] { return peer.FileCount() == 1; })) return std::nullopt;
    const Clock::time_point done = Clock::now();
    std::vector<routersim::ReceivedFile> files = peer.Files();
    peer.ForgetFiles();
    if (!files[0].complete) return std::nullopt;
    return HostResult{std::chrono::duration<double>(done - begin).count(), std::chrono::duration<double>(started - begin).count(),
                      std::move(files[0].bytes)};
}

}  // namespace bench
