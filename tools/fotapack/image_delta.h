// One image delta from an old and a new image: choose a code transform,
// match, plan in place, write.
#pragma once

#include "delta_writer.h"

#include <optional>

namespace fotapack {

constexpr uint32_t kDefaultBlockSize = 128 * 1024;

// Makes the delta without a code transform and with each candidate
// transform of the new image (code_regions.h), and keeps the smallest;
// `only` makes it with that transform alone. stats->transform tells which.
std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats,
                                      std::optional<uint32_t> only = std::nullopt);

} // namespace fotapack
