// The update package's container: a 16-byte header (magic 0x55AA5588, entry
// count, 8 reserved bytes), a table of 40-byte entries (a name of at most 31
// characters in 32 bytes, length, offset) and the members' bytes, all
// integers 32-bit little-endian. The agent reads it, fotapack writes it.
#pragma once

#include <cstdint>

constexpr uint32_t KVR_PACKAGE_MAGIC = 0x55AA5588;
constexpr int KVR_PACKAGE_HEADER_SIZE = 16;
constexpr int KVR_PACKAGE_ENTRY_SIZE = 40;
constexpr int KVR_PACKAGE_NAME_SIZE = 32;
