#include "routersim/crc32.h"

#include <zlib.h>

namespace routersim {

uint32_t Crc32(std::span<const uint8_t> bytes)
{
    return static_cast<uint32_t>(crc32_z(crc32_z(0, Z_NULL, 0), bytes.data(), bytes.size()));
}

}  // namespace routersim
