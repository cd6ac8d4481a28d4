#include "fake_device.h"

#include <algorithm>

#include "../support/loopback_address.h"

namespace {

// Real microseconds of one look at the socket.
constexpr uint32_t kPollUs = 2000;

}  // namespace

devlink::LinkBlock DeviceBlock(uint8_t type, uint32_t seq, const std::vector<uint8_t>& data, uint32_t length)
{
    devlink::LinkBlock block{};
    block[0] = type;
    for (int i = 0; i < 4; ++i) {
        block[5 + i] = static_cast<uint8_t>(seq >> (8 * i));
        block[1359 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    std::copy_n(data.begin(), std::min(data.size(), devlink::kDataCapacity), block.begin() + 9);
    return block;
}

FakeDevice::FakeDevice(uint16_t serverPort, Responder responder) : responder_(std::move(responder))
{
    socket_.Open();
    socket_.Connect(testing_support::LoopbackAddress(), serverPort, 5000);
    thread_ = std::thread([this] { Run(); });
}

FakeDevice::~FakeDevice()
{
    stop_ = true;
    stopSignal_.Request();
    thread_.join();
}

void FakeDevice::Run()
{
    std::vector<uint8_t> pending;
    while (!stop_) {
        // A real-time poll, then a receive that does not wait: a receive
        // limit would be a deadline that a driven clock steps to.
        std::vector<intptr_t> readable;
        std::vector<intptr_t> writable;
        if (platform::WaitForSockets({socket_.Handle()}, {}, kPollUs, readable, writable) <= 0) continue;
        uint8_t buffer[4096];
        size_t received = 0;
        const platform::ReceiveStatus status = socket_.Receive(buffer, sizeof buffer, received, 0);
        if (status == platform::ReceiveStatus::kTimeout) continue;
        if (status != platform::ReceiveStatus::kData) break;
        pending.insert(pending.end(), buffer, buffer + received);
        while (pending.size() >= devlink::kBlockSize && rawExpected_ == 0) {
            SeenBlock seen;
            std::copy_n(pending.begin(), devlink::kBlockSize, seen.bytes.begin());
            pending.erase(pending.begin(), pending.begin() + devlink::kBlockSize);
            seen.type = seen.bytes[0];
            seen.seq = seen.bytes[5] | (seen.bytes[6] << 8) | (seen.bytes[7] << 16) | (static_cast<uint32_t>(seen.bytes[8]) << 24);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(seen);
            }
            const std::optional<devlink::LinkBlock> reply = responder_(seen);
            if (!reply) continue;
            if (const uint32_t delay = delays_[seen.type]; delay > 0 && !stopSignal_.SleepFor(delay)) return;
            socket_.Send(reply->data(), reply->size());
        }
        if (rawExpected_ > 0 && !pending.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            raw_.insert(raw_.end(), pending.begin(), pending.end());
            pending.clear();
        }
    }
}

std::vector<SeenBlock> FakeDevice::Seen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

std::vector<uint8_t> FakeDevice::RawBytes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_;
}

void FakeDevice::Send(const devlink::LinkBlock& block) { socket_.Send(block.data(), block.size()); }

void FakeDevice::Disconnect()
{
    socket_.Shutdown();
}
