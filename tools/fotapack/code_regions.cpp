#include "code_regions.h"

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

std::vector<uint8_t> coded_image(const std::vector<uint8_t>& image, const transform_region& transform, uint32_t block_size)
{
    std::vector<uint8_t> coded(image);
    const uint32_t size = uint32_t(image.size());
    for (uint32_t index = 0; uint64_t(index) * block_size < size; ++index) {
        const kvr_transform_window window = kvr_block_window(index, block_size, size, transform.start, transform.end);
        const uint32_t address = index * block_size;
        kvr_transform_encode(transform.kind, coded.data() + address, std::min(block_size, size - address), address, window.start,
                             window.end);
    }
    return coded;
}

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

} // namespace fotapack
