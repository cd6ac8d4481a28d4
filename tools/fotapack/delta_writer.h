// Writes an image delta (agent/engine/delta_format.h) from an in-place plan:
// hashes, block table, and the operations packed into LZMA2 frames.
#pragma once

#include "block_plan.h"
#include "code_transform.h"

#include <cstdint>
#include <vector>

namespace fotapack {

struct delta_stats {
    uint32_t rewritten_blocks = 0;
    uint32_t frames = 0;
    uint32_t broken_copies = 0;
    uint32_t transform = 0;          // the code transform the delta uses
    uint32_t without_transform = 0;  // bytes of the delta without one, when tried
};

// A code transform (agent/engine/code_transform.h) over [start, end) of
// both images.
struct transform_region {
    uint32_t kind = KVR_TRANSFORM_NONE;
    uint32_t start = 0;
    uint32_t end = 0;
};

// The images as they are give the hashes and the blocks' contents; the
// images as the transform rewrote them (the same images when there is
// none) give the operations, which the plan was made on.
struct image_pair {
    const std::vector<uint8_t>& old_image;
    const std::vector<uint8_t>& new_image;
    const std::vector<uint8_t>& old_coded;
    const std::vector<uint8_t>& new_coded;
    transform_region transform;
};

std::vector<uint8_t> write_image_delta(const image_pair& images, const block_plan& plan, uint32_t block_size,
                                       delta_stats* stats);

} // namespace fotapack
