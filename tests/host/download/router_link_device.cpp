#include "router_link_device.h"

#include <algorithm>

namespace {

constexpr uint32_t kConnectMs = 5000;
constexpr uint32_t kReceivePollMs = 1000;
constexpr size_t kReadPiece = 64 * 1024;

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

std::vector<ReceivedTransfer> RouterLinkDevice::Transfers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transfers_;
}

void RouterLinkDevice::Run()
{
    devlink::LinkBlock block{};
    while (ReadExactly(block.data(), block.size()) && Serve(block)) {
    }
    // Closed rather than shut down: bytes the host still sends are refused,
    // as by a router that went away.
    std::lock_guard<std::mutex> lock(closeLock_);
    socket_.Close();
    ended_ = true;
}

bool RouterLinkDevice::ReadExactly(uint8_t* bytes, size_t count)
{
    while (pending_.size() < count) {
        if (stop_.Requested()) return false;
        uint8_t piece[kReadPiece];
        size_t received = 0;
        const platform::ReceiveStatus status = socket_.Receive(piece, std::min(sizeof piece, count - pending_.size()), received, kReceivePollMs);
        if (status == platform::ReceiveStatus::kTimeout) continue;
        if (status != platform::ReceiveStatus::kData) return false;
        pending_.insert(pending_.end(), piece, piece + received);
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
    }
    if (IsTransfer(type) && !ReceiveTransfer(type, Word(block, 1367))) return false;
    if (type == devlink::kCmdReboot || type == devlink::kCmdClose) return false;
    if (conduct_.silent.count(type) != 0 || type == devlink::kCmdData) return true;
    const auto delay = conduct_.answerDelayMs.find(type);
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
