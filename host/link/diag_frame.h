// DIAG commands travel as HDLC-style frames: the escaped body, its escaped
// FCS-16 (RFC 1662, low byte first) and a closing flag 0x7E, with no opening
// flag. Inside a frame 0x7E and 0x7D are sent as 0x7D followed by the byte
// XOR 0x20.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace devlink {

inline constexpr uint8_t kFrameFlag = 0x7E;
inline constexpr uint8_t kFrameEscape = 0x7D;
// A frame must fit the data of one link block.
inline constexpr size_t kMaxFrameBytes = 1350;

// The FCS the sender appends: the ones' complement of the CRC over the bytes.
uint16_t Fcs16(std::span<const uint8_t> bytes);
// True when the CRC over the body and its FCS together leaves RFC 1662's
// good final value 0xF0B8.
bool FcsIsGood(std::span<const uint8_t> bodyAndFcs);

// Empty when the escaped frame would be longer than kMaxFrameBytes.
std::vector<uint8_t> BuildFrame(std::span<const uint8_t> body);

struct UnframeResult {
    bool ok = false;
    std::vector<uint8_t> body;  // without the FCS; its first byte is the response code
    std::u16string error;       // why, when not ok
};

UnframeResult UnframeAndCheck(std::span<const uint8_t> received);

}  // namespace devlink
