// What every delta writer shares: control varints, LZMA2 frames and their
// table, table words, and the header with the delta hash over header and
// body.
#pragma once

#include "delta_format.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fotapack {

void put_varint(std::vector<uint8_t>& out, uint32_t value);
void append_le32(std::vector<uint8_t>& out, uint32_t value);
// One frame before packing: its three sections, and the blocks (image) or
// the operation (file system, one "block") it serves.
struct frame_parts {
    std::vector<uint8_t> control, difference, literal;
    uint32_t first_block = 0;
    uint32_t block_count = 0;
    size_t size() const { return control.size() + difference.size() + literal.size(); }
    void append(const frame_parts& more);
};

// One raw LZMA2 stream of data with the given dictionary size.
std::vector<uint8_t> pack_frame(const std::vector<uint8_t>& data, uint32_t dict_size);
// A header of the kind, version and codec of this writer.
kvr_delta_header new_header(uint32_t kind);
// The delta: the header (with its codec fields, frame count and delta hash
// filled in), then the tables, the frame table and the packed frames.
std::vector<uint8_t> finish_delta(kvr_delta_header header, std::vector<uint8_t> tables,
                                  const std::vector<frame_parts>& frames);
// The header (its body size and delta hash filled in) followed by the body.
std::vector<uint8_t> seal_delta(kvr_delta_header header, const std::vector<uint8_t>& body);

} // namespace fotapack
