// Little-endian 32-bit fields of the agent's file formats (update package,
// delta, status files), read and written byte by byte so that nothing depends
// on the host's or the device's byte order. Shared by the agent, its engine
// and the tools that write those formats.
#pragma once

#include <cstdint>

inline uint32_t kvr_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void kvr_put_le32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}
