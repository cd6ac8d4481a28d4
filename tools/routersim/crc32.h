// CRC-32 with the IEEE 802.3 polynomial, the checksum of U-Boot images,
// computed by zlib.
#pragma once

#include <cstdint>
#include <span>

namespace routersim {

uint32_t Crc32(std::span<const uint8_t> bytes);

}  // namespace routersim
