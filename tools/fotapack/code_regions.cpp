#include "code_regions.h"

#include "delta_packing.h"

#include <algorithm>

namespace fotapack {
namespace {

constexpr uint16_t kMachineArm = 40;
constexpr uint16_t kMachineAArch64 = 183;
constexpr uint32_t kLoadSegment = 1;
constexpr uint32_t kExecutable = 1;

uint64_t field(const std::vector<uint8_t>& image, uint64_t at, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | image[at + i];
    return value;
}

bool is_elf(const std::vector<uint8_t>& image)
{
    return image.size() >= 64 && image[0] == 0x7F && image[1] == 'E' && image[2] == 'L' && image[3] == 'F' &&
           (image[4] == 1 || image[4] == 2) && image[5] == 1;
}

// The file range of the executable load segments; the whole image when
// the program headers do not name one inside it.
transform_region elf_code(const std::vector<uint8_t>& image, uint32_t kind)
{
    transform_region whole{kind, 0, uint32_t(image.size())};
    const bool wide = image[4] == 2;
    const uint64_t table = field(image, wide ? 32 : 28, wide ? 8 : 4);
    const uint64_t entry_size = field(image, wide ? 54 : 42, 2);
    const uint64_t count = field(image, wide ? 56 : 44, 2);
    if (entry_size < (wide ? 56u : 32u) || table > image.size() || count > (image.size() - table) / entry_size) return whole;
    uint64_t start = UINT64_MAX, end = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = table + i * entry_size;
        const uint64_t type = field(image, at, 4);
        const uint64_t flags = field(image, at + (wide ? 4 : 24), 4);
        const uint64_t offset = field(image, at + (wide ? 8 : 4), wide ? 8 : 4);
        const uint64_t size = field(image, at + (wide ? 32 : 16), wide ? 8 : 4);
        if (type != kLoadSegment || (flags & kExecutable) == 0 || offset > image.size() || size > image.size() - offset) continue;
        start = std::min(start, offset);
        end = std::max(end, offset + size);
    }
    if (start >= end) return whole;
    return {kind, uint32_t(start), uint32_t(end)};
}

} // namespace

transform_region likely_code_region(const std::vector<uint8_t>& image, uint32_t kind)
{
    if (is_elf(image)) return elf_code(image, kind);
    return {kind, 0, uint32_t(image.size())};
}

std::vector<transform_region> code_candidates(const std::vector<uint8_t>& image)
{
    std::vector<uint32_t> kinds{KVR_TRANSFORM_A32, KVR_TRANSFORM_THUMB2, KVR_TRANSFORM_A64};
    if (is_elf(image)) {
        const uint16_t machine = uint16_t(field(image, 18, 2));
        if (machine == kMachineArm)
            kinds = {KVR_TRANSFORM_A32, KVR_TRANSFORM_THUMB2};
        else if (machine == kMachineAArch64)
            kinds = {KVR_TRANSFORM_A64};
        else
            kinds.clear();
    }
    std::vector<transform_region> candidates;
    for (uint32_t kind : kinds) candidates.push_back(likely_code_region(image, kind));
    return candidates;
}

std::vector<uint8_t> build_code_map(const std::vector<match_op>& ops)
{
    struct piece {
        uint32_t old_start, new_start, length;
    };
    // Copies shorter than this carry too few branches to be worth an entry.
    constexpr uint32_t kShortest = 256;
    // Neighbours that moved alike are joined across a gap this small.
    constexpr uint32_t kJoinGap = 65536;
    std::vector<piece> pieces;
    uint64_t at = 0;
    for (const match_op& op : ops) {
        if (op.copy >= kShortest) pieces.push_back({op.source, uint32_t(at), op.copy});
        at += uint64_t(op.copy) + op.literal;
    }
    std::sort(pieces.begin(), pieces.end(), [](const piece& a, const piece& b) { return a.old_start < b.old_start; });
    std::vector<piece> joined;
    for (piece p : pieces) {
        if (!joined.empty()) {
            piece& last = joined.back();
            const uint64_t last_end = uint64_t(last.old_start) + last.length;
            if (p.old_start < last_end) {
                // Old bytes copied twice: the first copy keeps them.
                const uint64_t end = uint64_t(p.old_start) + p.length;
                if (end <= last_end) continue;
                const uint32_t cut = uint32_t(last_end - p.old_start);
                p = {p.old_start + cut, p.new_start + cut, p.length - cut};
            }
            const bool same_move = int64_t(p.new_start) - int64_t(p.old_start) == int64_t(last.new_start) - int64_t(last.old_start);
            if (same_move && p.old_start - last_end <= kJoinGap) {
                last.length = p.old_start + p.length - last.old_start;
                continue;
            }
        }
        joined.push_back(p);
    }
    std::vector<uint8_t> map;
    for (const piece& p : joined)
        for (uint32_t value : {p.old_start, p.new_start, p.length}) append_le32(map, value);
    return map;
}

} // namespace fotapack
