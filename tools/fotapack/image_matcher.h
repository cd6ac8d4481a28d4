// Finds how a new image is made of an old one: a list of operations, each a
// copy of old bytes (to be corrected by a bytewise difference) followed by
// literal new bytes, covering the new image from its start. Matches come
// from a suffix array of the old image (libdivsufsort) and are widened into
// approximate matches where most bytes agree.
#pragma once

#include <cstdint>
#include <vector>

namespace fotapack {

struct match_op {
    uint32_t copy;    // bytes made from old[source ...] plus a difference
    uint32_t source;  // where the copy reads in the old image
    uint32_t literal; // new bytes that follow the copy
};

std::vector<match_op> match_images(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image);

} // namespace fotapack
