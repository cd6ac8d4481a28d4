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

// A code transform (agent/engine/code_transform.h) for the branches in old
// offsets [start, end).
struct transform_region {
    uint32_t kind = KVR_TRANSFORM_NONE;
    uint32_t start = 0;
    uint32_t end = 0;
};

// The branch prediction of copies: the transform and the code map's
// entries (code_transform.h); no transform, no map by default.
struct code_prediction {
    transform_region transform;
    std::vector<uint8_t> map;
};

// How many bytes of the plan's copies the prediction gets exactly: a cheap
// measure of how well a transform suits the images.
uint64_t predicted_bytes(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, const block_plan& plan,
                         const code_prediction& code);

std::vector<uint8_t> write_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                       const block_plan& plan, uint32_t block_size, const code_prediction& code,
                                       delta_stats* stats);

} // namespace fotapack
