// The link block: every request and reply between the host and the router
// travels as one 1440-byte block, and LinkMessage is its decoded form. The
// body layout depends on the type and on the direction.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace devlink {

inline constexpr size_t kBlockSize = 1440;
inline constexpr size_t kPayloadSize = 1348;
// The payload and the tail word that follows it: the bytes a data block carries.
inline constexpr size_t kDataCapacity = kPayloadSize + 2;

using LinkBlock = std::array<uint8_t, kBlockSize>;

enum MessageType : uint8_t {
    kLinuxImage = 0x01,
    kCmdData = 0x04,
    kCmdReboot = 0x1F,
    kCmdIpMac = 0x40,
    kCmdQueryInfo = 0x61,
    kCmdAnnounce = 0x6A,
    kCmdCloseFactory = 0x86,
    kCmdModemUpgrade = 0x90,
    kCmdToUserMode = 0x96,
    kCmdModemState = 0x97,
    kModemImage = 0x98,
    kModemChecksum = 0x99,
    kCmdClose = 0xFF,
};

struct LinkMessage {
    uint8_t type = 0;
    uint32_t param = 0;
    uint32_t seq = 0;
    uint32_t arg1 = 0;
    uint32_t arg2 = 0;
    uint32_t arg3 = 0;
    uint16_t arg4 = 0;
    std::array<uint8_t, kPayloadSize> payload{};
    uint16_t tail16 = 0;
    uint32_t length = 0;
    uint32_t aux1 = 0;
    uint32_t aux2 = 0;

    // The payload and the tail word as one run of kDataCapacity bytes.
    std::array<uint8_t, kDataCapacity> Data() const;
    void SetData(std::span<const uint8_t> bytes);
};

// Host to device.
LinkBlock EncodeBlock(const LinkMessage& message);
// Device to host; false for a type the host does not know (the message then
// holds the header only).
bool DecodeBlock(std::span<const uint8_t, kBlockSize> block, LinkMessage& message);

// The announcement: CMD_ANNOUNCE with param 114, seq 108, the server's TCP
// port and the host address (network byte order, as in_addr holds it).
LinkMessage AnnouncementMessage(uint16_t tcpPort, uint32_t hostAddress);

}  // namespace devlink
