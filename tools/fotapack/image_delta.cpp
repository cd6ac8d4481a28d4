#include "image_delta.h"

#include "code_regions.h"
#include "image_matcher.h"

namespace fotapack {
namespace {

std::vector<uint8_t> delta_with(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                uint32_t block_size, const transform_region& transform, delta_stats* stats)
{
    if (transform.kind == KVR_TRANSFORM_NONE) {
        block_plan plan = plan_blocks(old_image, new_image, match_images(old_image, new_image), block_size);
        return write_image_delta({old_image, new_image, old_image, new_image, transform}, plan, block_size, stats);
    }
    std::vector<uint8_t> old_coded = coded_image(old_image, transform, block_size);
    std::vector<uint8_t> new_coded = coded_image(new_image, transform, block_size);
    block_plan plan = plan_blocks(old_coded, new_coded, match_images(old_coded, new_coded), block_size);
    return write_image_delta({old_image, new_image, old_coded, new_coded, transform}, plan, block_size, stats);
}

} // namespace

std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats, std::optional<uint32_t> only)
{
    delta_stats chosen_stats;
    if (only) {
        transform_region transform = *only == KVR_TRANSFORM_NONE ? transform_region{} : likely_code_region(new_image, *only);
        std::vector<uint8_t> delta = delta_with(old_image, new_image, block_size, transform, &chosen_stats);
        if (stats != nullptr) *stats = chosen_stats;
        return delta;
    }
    std::vector<uint8_t> best = delta_with(old_image, new_image, block_size, {}, &chosen_stats);
    chosen_stats.without_transform = uint32_t(best.size());
    for (const transform_region& candidate : code_candidates(new_image)) {
        delta_stats coded_stats;
        std::vector<uint8_t> coded = delta_with(old_image, new_image, block_size, candidate, &coded_stats);
        if (coded.size() < best.size()) {
            coded_stats.without_transform = chosen_stats.without_transform;
            best = std::move(coded);
            chosen_stats = coded_stats;
        }
    }
    if (stats != nullptr) *stats = chosen_stats;
    return best;
}

} // namespace fotapack
