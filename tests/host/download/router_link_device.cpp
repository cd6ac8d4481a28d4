#include "router_link_device.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "platform/tcp_traffic.h"

namespace {

constexpr uint32_t kConnectMs = 5000;
// The real-time poll of the socket: data wakes it at once, so this only
// bounds how long a stop waits.
constexpr uint32_t kReadPollUs = 20000;
constexpr size_t kReadPiece = 64 * 1024;
// After the close: how often the traffic counters are looked at, and how
// long an imbalance must stay unchanged before it counts as lost.
constexpr uint64_t kLostCheckUs = 20000;
constexpr auto kLostAfter = std::chrono::milliseconds(200);

uint32_t Word(const devlink::LinkBlock& block, size_t offset)
{
    return block[offset] | (block[offset + 1] << 8) | (block[offset + 2] << 16) | (static_cast<uint32_t>(block[offset + 3]) << 24);
}

bool IsTransfer(uint8_t type)
{
    return type == devlink::kModemImage || type == devlink::kModemChecksum || type == devlink::kLinuxImage;
}

}  // namespace

RouterLinkDevice::RouterLinkDevice(uint16_t serverPort, DeviceConduct conduct) : conduct_(std::move(conduct))
{
    // Nothing is under way yet: the host talks to no one else.
    const platform::TcpTraffic traffic = platform::TcpTrafficTotals();
    lostBefore_ = traffic.sent - traffic.received;
    uint32_t loopback = 0;
    connected_ = platform::ResolveIPv4("127.0.0.1", loopback) && socket_.Open() && socket_.Connect(loopback, serverPort, kConnectMs);
    if (connected_) thread_ = std::thread([this] { Run(); });
}

RouterLinkDevice::~RouterLinkDevice()
{
    stop_.Request();
    {
        std::lock_guard<std::mutex> lock(closeLock_);
        socket_.Shutdown();
    }
    if (thread_.joinable()) thread_.join();
}

std::vector<uint8_t> RouterLinkDevice::RequestTypes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requestTypes_;
}

std::optional<uint64_t> RouterLinkDevice::RequestTimeMs(uint8_t type)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = std::find(requestTypes_.begin(), requestTypes_.end(), type);
    if (found == requestTypes_.end()) return std::nullopt;
    return requestTimes_[static_cast<size_t>(found - requestTypes_.begin())];
}

std::vector<ReceivedTransfer> RouterLinkDevice::Transfers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transfers_;
}

void RouterLinkDevice::Run()
{
    // A wait that ends at once makes the thread one that a driven clock
    // waits for before its first receive: from then on time stands still
    // while the device serves a request.
    platform::CurrentClock().WaitUntil(0, nullptr);
    devlink::LinkBlock block{};
    while (ReadExactly(block.data(), block.size()) && Serve(block)) {
    }
    // Closed rather than shut down: bytes the host still sends are refused,
    // as by a router that went away.
    {
        std::lock_guard<std::mutex> lock(closeLock_);
        socket_.Close();
        ended_ = true;
    }
    WriteOffLostBytes();
}

// A router that goes away takes with it the bytes the host had already
// handed to its socket: they never arrive anywhere. A driven clock counts
// the bytes under way between the sockets of this process and waits for
// them before every step, taking them as lost only after a second without
// progress. The device was the host's only peer, so once its socket is
// closed, an imbalance beyond the one found when the device connected
// (bytes lost before it) that stays unchanged for kLostAfter can only be
// such bytes: they are counted as taken, as the router's kernel would have
// taken them, and no step waits for them. (An imbalance the other way, a
// count read while a failing send had not yet taken its bytes back, is
// evened out likewise.)
void RouterLinkDevice::WriteOffLostBytes()
{
    auto underWay = [](const platform::TcpTraffic& traffic) { return traffic.sent - traffic.received; };
    platform::TcpTraffic seen = platform::TcpTrafficTotals();
    auto since = std::chrono::steady_clock::now();
    while (!stop_.Requested()) {
        // A pause the clock counts as waiting, like a socket poll.
        platform::PollPause(kLostCheckUs);
        const platform::TcpTraffic now = platform::TcpTrafficTotals();
        if (now.sent != seen.sent || now.received != seen.received) {
            seen = now;
            since = std::chrono::steady_clock::now();
            continue;
        }
        // Unsigned: a negative excess wraps around, as the clock's own count does.
        const uint64_t excess = underWay(now) - lostBefore_;
        if (excess == 0 || std::chrono::steady_clock::now() - since < kLostAfter) continue;
        if (excess < (uint64_t{1} << 63)) {
            platform::traffic::CountReceived(excess);
        } else {
            platform::traffic::CountSent(uint64_t{0} - excess);
        }
        seen = platform::TcpTrafficTotals();
        since = std::chrono::steady_clock::now();
    }
}

bool RouterLinkDevice::ReadExactly(uint8_t* bytes, size_t count)
{
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    while (pending_.size() < count) {
        if (stop_.Requested()) return false;
        // A receive that does not wait, and when nothing is there a
        // real-time poll: no receive limit of the device's is a deadline
        // the clock would step to.
        uint8_t piece[kReadPiece];
        size_t received = 0;
        const platform::ReceiveStatus status = socket_.Receive(piece, std::min(sizeof piece, count - pending_.size()), received, 0);
        if (status == platform::ReceiveStatus::kData) {
            pending_.insert(pending_.end(), piece, piece + received);
            continue;
        }
        if (status != platform::ReceiveStatus::kTimeout) return false;
        if (platform::WaitForSockets({socket_.Handle()}, {}, kReadPollUs, readable, writable) < 0) return false;
    }
    std::copy_n(pending_.begin(), count, bytes);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return true;
}

bool RouterLinkDevice::Serve(const devlink::LinkBlock& block)
{
    const uint8_t type = block[0];
    const uint32_t seq = Word(block, 5);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requestTypes_.push_back(type);
        requestTimes_.push_back(platform::MonotonicMs());
    }
    if (IsTransfer(type) && !ReceiveTransfer(type, Word(block, 1367))) return false;
    if (type == devlink::kCmdReboot || type == devlink::kCmdClose) return false;
    if (conduct_.silent.count(type) != 0 || type == devlink::kCmdData) return true;
    const auto delay = conduct_.answerDelayMs.find(type);
    // A wait on the clock: exact in clock time however the machine runs.
    if (delay != conduct_.answerDelayMs.end() && !stop_.SleepFor(delay->second)) return false;
    if (conduct_.refused.count(type) != 0) {
        Answer(type, devlink::kCmdClose, seq);
    } else if (type == devlink::kLinuxImage) {
        Answer(type, conduct_.flashWriteResult, seq);
    } else if (IsTransfer(type)) {
        return true;
    } else {
        Answer(type, type, seq);
    }
    return true;
}

bool RouterLinkDevice::ReceiveTransfer(uint8_t type, uint32_t size)
{
    ReceivedTransfer transfer{type, size, {}, false};
    const bool drop = conduct_.dropDuringTransfer == type;
    const size_t wanted = drop ? std::min<size_t>(size, conduct_.dropAfterBytes) : size;
    transfer.bytes.resize(wanted);
    const bool whole = ReadExactly(transfer.bytes.data(), wanted);
    transfer.complete = whole && !drop;
    std::lock_guard<std::mutex> lock(mutex_);
    transfers_.push_back(std::move(transfer));
    return whole && !drop;
}

void RouterLinkDevice::Answer(uint8_t requestType, uint8_t answerType, uint32_t seq)
{
    devlink::LinkMessage header;
    header.type = answerType;
    header.seq = seq;
    devlink::LinkBlock answer = devlink::EncodeBlock(header);
    if (requestType == devlink::kCmdQueryInfo && answerType == requestType) {
        // The version text with its zero at offset 9, its length at 1359.
        const std::string& text = conduct_.version;
        std::copy(text.begin(), text.end(), answer.begin() + 9);
        const auto length = static_cast<uint32_t>(text.size() + 1);
        for (int i = 0; i < 4; ++i) answer[1359 + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
    }
    socket_.Send(answer.data(), answer.size());
}
