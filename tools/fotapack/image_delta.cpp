#include "image_delta.h"

#include "image_matcher.h"

namespace fotapack {

std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats)
{
    std::vector<match_op> ops = match_images(old_image, new_image);
    block_plan plan = plan_blocks(old_image, new_image, ops, block_size);
    return write_image_delta(old_image, new_image, plan, block_size, stats);
}

} // namespace fotapack
