// The U-Boot legacy image: a 64-byte header of big-endian words (magic
// 0x27051956, header CRC-32 computed with its own field zeroed, time, data
// size, load address, entry point, data CRC-32, then OS, architecture, type,
// compression bytes and a 32-byte name) followed by the data. Whatever lies
// past the header's data size is padding and is not covered by any CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "routersim/check_verdict.h"

namespace routersim {

inline constexpr uint32_t kLegacyImageMagic = 0x27051956;
inline constexpr size_t kLegacyHeaderBytes = 64;
inline constexpr size_t kLegacyHeaderCrcAt = 4;
inline constexpr size_t kLegacyDataSizeAt = 12;
inline constexpr size_t kLegacyDataCrcAt = 24;

// Checks the magic, the header CRC and the data CRC. Passed: the text tells
// what was checked; failed: what was wrong.
CheckVerdict CheckLegacyImage(std::span<const uint8_t> image);

}  // namespace routersim
