// The router's end of the link for the download service tests: it connects
// to the host's rendezvous server on loopback and plays the device's side
// of a whole update (modem state, the three transfers, modem upgrade, user
// mode, flash write result, close factory mode, reboot), misbehaving per
// request type as the test says. It reads by polling its socket in real
// time, so that the clock a test drives never steps to a receive limit of
// its own; its answer delays are waits on the clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/link_block.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"

struct DeviceConduct {
    std::set<uint8_t> refused;  // answered with 0xFF
    std::set<uint8_t> silent;   // read and never answered
    // Milliseconds of clock time between a request and its answer.
    std::map<uint8_t, uint32_t> answerDelayMs;
    // The connection is closed once this many raw bytes of a transfer of
    // this type arrived.
    std::optional<uint8_t> dropDuringTransfer;
    size_t dropAfterBytes = 0;
    // The answer to a Linux image once it arrived whole.
    uint8_t flashWriteResult = devlink::kLinuxImage;
    std::string version = "EN_PELA_BR_KR710MV1.0.0B15";
};

struct ReceivedTransfer {
    uint8_t type = 0;
    uint32_t announcedSize = 0;
    std::vector<uint8_t> bytes;
    bool complete = false;
};

class RouterLinkDevice {
public:
    RouterLinkDevice(uint16_t serverPort, DeviceConduct conduct);
    ~RouterLinkDevice();
    RouterLinkDevice(const RouterLinkDevice&) = delete;
    RouterLinkDevice& operator=(const RouterLinkDevice&) = delete;

    bool Connected() const { return connected_; }
    // The types of the blocks received, in order.
    std::vector<uint8_t> RequestTypes();
    // The clock time (platform::MonotonicMs) at which the first block of
    // this type arrived; none when none did.
    std::optional<uint64_t> RequestTimeMs(uint8_t type);
    std::vector<ReceivedTransfer> Transfers();
    // True once the connection has ended, whichever side ended it.
    bool Ended() const { return ended_; }

private:
    void Run();
    // False when the connection ended before the whole block came.
    bool ReadExactly(uint8_t* bytes, size_t count);
    // False when the connection is to end.
    bool Serve(const devlink::LinkBlock& block);
    bool ReceiveTransfer(uint8_t type, uint32_t size);
    void Answer(uint8_t requestType, uint8_t answerType, uint32_t seq);
    // After the close, until the device is destroyed: see the definition.
    void WriteOffLostBytes();

    DeviceConduct conduct_;
    platform::TcpSocket socket_;
    platform::StopSignal stop_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> ended_{false};
    // Bytes counted as under way when the device connected: lost earlier.
    uint64_t lostBefore_ = 0;
    std::vector<uint8_t> pending_;
    std::mutex closeLock_;
    std::mutex mutex_;
    std::vector<uint8_t> requestTypes_;
    std::vector<uint64_t> requestTimes_;
    std::vector<ReceivedTransfer> transfers_;
    std::thread thread_;
};
