// What the log shows about a DIAG exchange: the reason the router gives when
// it answers a command with an error code instead of the command code, and
// the sent bytes as hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace devlink {

// The reason for the first byte of an error reply.
std::u16string DiagErrorText(uint8_t firstByte);

// Upper-case hex, two digits a byte, no separators.
std::u16string HexBytes(std::span<const uint8_t> bytes);

}  // namespace devlink
