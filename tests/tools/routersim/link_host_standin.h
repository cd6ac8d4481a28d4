// A few lines of the host's end of the link on plain loopback sockets: it
// announces itself to the link side by UDP, accepts the connection back and
// exchanges whole 1440-byte blocks, so that the tests see every byte the
// link side sends and can send it anything.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "routersim/unique_fd.h"
#include "patience.h"

namespace routersim_test {

using namespace std::chrono_literals;

using Block = std::array<uint8_t, 1440>;


inline constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1, host order

uint32_t At32(const Block& block, size_t offset);
// A host request: type, seq, and for data-carrying types the data at 9,
// the length at 1359 and the file size at 1367.
Block RequestBlock(uint8_t type, uint32_t seq, std::span<const uint8_t> data = {}, uint32_t length = 1, uint32_t fileSize = 0,
                   uint32_t param = 0);
// A transfer's start block: param 1392, length 1350, the file size.
Block StartBlock(uint8_t type, uint32_t seq, uint32_t fileSize);
// The announcement of `address` (host order) and `port`.
Block AnnouncementBlock(uint16_t port, uint32_t address = kLoopback);

class HostStandIn {
public:
    // Listens on 127.0.0.1 at a free port.
    HostStandIn();
    bool Listening() const { return listener_.Valid(); }
    uint16_t Port() const { return port_; }

    // Sends a datagram to 127.0.0.1:udpPort.
    bool SendDatagram(uint16_t udpPort, std::span<const uint8_t> bytes) const;
    // Announces this stand-in's own port at 127.0.0.1.
    bool Announce(uint16_t udpPort) const;
    // Accepts the link side's connection; false when none came in time.
    bool Accept(std::chrono::milliseconds timeout = kPatience);
    bool HasConnection() const { return connection_.Valid(); }
    void Disconnect();

    bool Send(std::span<const uint8_t> bytes);
    // A transfer as the host sends it: the start block, then the bytes in
    // pieces of up to 1350.
    bool SendTransfer(uint8_t type, uint32_t seq, std::span<const uint8_t> bytes);
    // The next whole block; nothing when it did not come in time or the
    // connection ended first.
    std::optional<Block> Receive(std::chrono::milliseconds timeout = kPatience);
    // Sends the request and receives one block.
    std::optional<Block> Ask(const Block& request, std::chrono::milliseconds timeout = kPatience);
    // True when not a byte arrived for `period` and the connection is still open.
    bool Quiet(std::chrono::milliseconds period = 300ms);
    // True when the link side closed the connection within `timeout`; the
    // bytes that came before the close are added to `before`.
    bool WaitClosed(std::chrono::milliseconds timeout = kPatience, std::vector<uint8_t>* before = nullptr);

private:
    enum class Read { kData, kTimedOut, kClosed };
    Read ReadMore(std::chrono::milliseconds timeout);

    routersim::UniqueFd listener_;
    routersim::UniqueFd connection_;
    uint16_t port_ = 0;
    std::vector<uint8_t> received_;
};

}  // namespace routersim_test
