#include "image_delta.h"

#include "code_regions.h"
#include "image_matcher.h"

namespace fotapack {

std::vector<uint8_t> make_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                      uint32_t block_size, delta_stats* stats, std::optional<uint32_t> only)
{
    const std::vector<match_op> ops = match_images(old_image, new_image);
    const block_plan plan = plan_blocks(old_image, new_image, ops, block_size);
    std::vector<transform_region> candidates;
    if (!only)
        candidates = code_candidates(old_image);
    else if (*only != KVR_TRANSFORM_NONE)
        candidates = {likely_code_region(old_image, *only)};
    const std::vector<uint8_t> map = candidates.empty() ? std::vector<uint8_t>() : build_code_map(ops);
    // Of several candidates only the one whose prediction gets the most
    // bytes right is written out: writing packs every frame.
    if (candidates.size() > 1) {
        uint64_t most = 0;
        transform_region best_guess = candidates.front();
        for (const transform_region& candidate : candidates) {
            const uint64_t exact = predicted_bytes(old_image, new_image, plan, {candidate, map});
            if (exact > most) most = exact, best_guess = candidate;
        }
        candidates = {best_guess};
    }

    delta_stats chosen_stats;
    std::vector<uint8_t> best;
    if (!only || *only == KVR_TRANSFORM_NONE) {
        best = write_image_delta(old_image, new_image, plan, block_size, {}, &chosen_stats);
        chosen_stats.without_transform = uint32_t(best.size());
    }
    for (const transform_region& candidate : candidates) {
        delta_stats coded_stats;
        std::vector<uint8_t> coded = write_image_delta(old_image, new_image, plan, block_size, {candidate, map}, &coded_stats);
        if (best.empty() || coded.size() < best.size()) {
            coded_stats.without_transform = chosen_stats.without_transform;
            best = std::move(coded);
            chosen_stats = coded_stats;
        }
    }
    if (stats != nullptr) *stats = chosen_stats;
    return best;
}

} // namespace fotapack
