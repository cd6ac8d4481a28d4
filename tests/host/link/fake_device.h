// The router's end of a link session for the port tests: it connects to the
// rendezvous server, reads whole blocks and answers each as the test says.
// It waits for bytes with real-time polls (no clock deadlines of its own),
// and the delays the test asks for run on the clock in force, so on a
// driven clock they are exact in clock time.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/link_block.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"

struct SeenBlock {
    uint8_t type = 0;
    uint32_t seq = 0;
    devlink::LinkBlock bytes{};
};

// A block as the device lays it out: header, data at offset 9 and the
// count at offset 1359.
devlink::LinkBlock DeviceBlock(uint8_t type, uint32_t seq, const std::vector<uint8_t>& data = {}, uint32_t length = 0);

class FakeDevice {
public:
    using Responder = std::function<std::optional<devlink::LinkBlock>(const SeenBlock&)>;
    FakeDevice(uint16_t serverPort, Responder responder);
    ~FakeDevice();
    std::vector<SeenBlock> Seen();
    // Raw bytes received after the blocks, when the test reads a transfer.
    void ExpectRawBytes(size_t count) { rawExpected_ = count; }
    std::vector<uint8_t> RawBytes();
    // Answers to requests of `type` leave `ms` milliseconds of clock time
    // after the request came in (the device reads nothing meanwhile).
    void DelayAnswers(uint8_t type, uint32_t ms) { delays_[type] = ms; }
    void Send(const devlink::LinkBlock& block);
    void Disconnect();

private:
    void Run();

    Responder responder_;
    platform::TcpSocket socket_;
    std::atomic<bool> stop_{false};
    platform::StopSignal stopSignal_;
    std::atomic<size_t> rawExpected_{0};
    std::array<std::atomic<uint32_t>, 256> delays_{};
    std::mutex mutex_;
    std::vector<SeenBlock> seen_;
    std::vector<uint8_t> raw_;
    std::thread thread_;
};
