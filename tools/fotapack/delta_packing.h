// What every delta writer shares: control varints, LZMA2 frames, table
// words, and the header with the delta hash over header and body.
#pragma once

#include "delta_format.h"

#include <cstdint>
#include <vector>

namespace fotapack {

void put_varint(std::vector<uint8_t>& out, uint32_t value);
void append_le32(std::vector<uint8_t>& out, uint32_t value);
// One raw LZMA2 stream of data with the given dictionary size.
std::vector<uint8_t> pack_frame(const std::vector<uint8_t>& data, uint32_t dict_size);
// The header (its delta hash filled in) followed by the body.
std::vector<uint8_t> seal_delta(kvr_delta_header header, const std::vector<uint8_t>& body);

} // namespace fotapack
