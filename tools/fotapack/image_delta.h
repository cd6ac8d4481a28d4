// One image delta from an old and a new image: match, plan in place, write.
#pragma once

#include "delta_writer.h"

namespace fotapack {

constexpr uint32_t kDefaultBlockSize = 128 * 1024;

std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats);

} // namespace fotapack
