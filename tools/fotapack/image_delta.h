// One image delta from an old and a new image: match, plan in place, and
// write it with the branch prediction that makes it smallest.
#pragma once

#include "delta_writer.h"

#include <optional>

namespace fotapack {

constexpr uint32_t kDefaultBlockSize = 128 * 1024;

// Writes the delta without a code transform and with each candidate of the
// old image (code_regions.h), from one match and plan, and keeps the
// smallest; `only` writes it with that transform alone. stats->transform
// tells which; stats->without_transform the size without one, when written.
std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats,
                                      std::optional<uint32_t> only = std::nullopt);

} // namespace fotapack
