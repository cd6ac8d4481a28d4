// The in-place plan of an image delta: which erase blocks change, what each
// is made of, and the order of writing them so that no block is overwritten
// while a block still to be written reads its old content. Dependency cycles
// are broken by turning the lightest copies into literal data.
#pragma once

#include "image_matcher.h"

#include <cstdint>
#include <vector>

namespace fotapack {

struct segment {
    uint32_t target; // offset in the new image
    uint32_t length;
    int64_t source;  // offset in the old image, or -1 for literal data
};

struct planned_block {
    uint32_t index;
    std::vector<segment> segments; // cover the block's image bytes in order
    std::vector<uint32_t> reads;   // source blocks read, ascending
};

struct block_plan {
    std::vector<planned_block> blocks; // changed blocks in writing order
    uint32_t broken_copies = 0;        // copy bytes turned into literal data
};

block_plan plan_blocks(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                       const std::vector<match_op>& ops, uint32_t block_size);

} // namespace fotapack
