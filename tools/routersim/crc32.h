// CRC-32 with the IEEE 802.3 polynomial (reflected 0xEDB88320, initial and
// final value 0xFFFFFFFF), the checksum zlib and U-Boot images use.
#pragma once

#include <cstdint>
#include <span>

namespace routersim {

uint32_t Crc32(std::span<const uint8_t> bytes);

}  // namespace routersim
