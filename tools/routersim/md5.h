// MD5 of a whole run of bytes, computed by nettle.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace routersim {

using Md5Digest = std::array<uint8_t, 16>;

Md5Digest Md5(std::span<const uint8_t> bytes);
// The digest as 32 lower-case hex digits, as md5sum prints it.
std::string Md5Hex(std::span<const uint8_t> bytes);

}  // namespace routersim
