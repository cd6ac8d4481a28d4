// Writes an image delta (agent/engine/delta_format.h) from an in-place plan:
// hashes, block table, and the operations packed into LZMA2 frames.
#pragma once

#include "block_plan.h"

#include <cstdint>
#include <vector>

namespace fotapack {

struct delta_stats {
    uint32_t rewritten_blocks = 0;
    uint32_t frames = 0;
    uint32_t broken_copies = 0;
};

std::vector<uint8_t> write_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                       const block_plan& plan, uint32_t block_size, delta_stats* stats);

} // namespace fotapack
