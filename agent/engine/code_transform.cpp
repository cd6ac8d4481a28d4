#include "code_transform.h"

#include "delta_format.h"

namespace {

uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void store16(uint8_t* p, uint16_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

int64_t sign_extend(uint64_t value, int bits) { return int64_t(value << (64 - bits)) >> (64 - bits); }

struct copy_view {
    const kvr_code_map& map;
    uint32_t source;  // old offset of data[0]
    uint32_t target;  // new offset of data[0]
};

// The new offset of the branch's old target, as the map has it, for a
// branch at data offset p pointing at old offset `old_target`; the amount
// the branch's field (counting `unit` bytes) must change, via *change.
bool field_change(const copy_view& c, uint32_t p, int64_t old_target, uint32_t unit, uint32_t* change)
{
    if (old_target < 0 || old_target > int64_t(UINT32_MAX)) return false;
    uint32_t new_target;
    if (!kvr_code_map_find(c.map, uint32_t(old_target), &new_target)) return false;
    // New branch offset minus old: (new target - new site) - (old target - old site).
    int64_t difference = (int64_t(new_target) - (int64_t(c.target) + p)) - (old_target - (int64_t(c.source) + p));
    if (difference % unit != 0) return false;
    *change = uint32_t(difference / unit);
    return true;
}

uint32_t with_field(uint32_t word, int bits, uint32_t change)
{
    uint32_t mask = (1u << bits) - 1;
    return (word & ~mask) | ((word + change) & mask);
}

void a32(const copy_view& c, uint8_t* data, uint32_t from, uint32_t to)
{
    for (uint32_t p = from; p + 4 <= to; p += 4) {
        uint8_t top = data[p + 3];
        if ((top & 0x0F) != 0x0B && top != 0xEA && top != 0xFA) continue;
        uint32_t word = kvr_le32(data + p);
        int64_t old_target = int64_t(c.source) + p + 8 + sign_extend(word & 0xFFFFFF, 24) * 4;
        uint32_t change;
        if (field_change(c, p, old_target, 4, &change)) kvr_put_le32(data + p, with_field(word, 24, change));
    }
}

// First halfword 11110 S imm10, second 1 x J1 y J2 imm11 with (x, y) = (1, 1)
// BL, (1, 0) BLX, (0, 1) B.W; offset S:I1:I2:imm10:imm11 halfwords from the
// instruction + 4, I = NOT(J XOR S). A rewritten pair is stepped over whole.
void thumb2(const copy_view& c, uint8_t* data, uint32_t from, uint32_t to)
{
    for (uint32_t p = from; p + 4 <= to; p += 2) {
        uint16_t first = load16(data + p);
        uint16_t second = load16(data + p + 2);
        if ((first & 0xF800) != 0xF000 || (second & 0x8000) == 0 || (second & 0x5000) == 0) continue;
        uint32_t s = (first >> 10) & 1;
        uint32_t i1 = ~((second >> 13) ^ s) & 1;
        uint32_t i2 = ~((second >> 11) ^ s) & 1;
        uint32_t offset = s << 23 | i1 << 22 | i2 << 21 | uint32_t(first & 0x3FF) << 11 | (second & 0x7FF);
        int64_t old_target = int64_t(c.source) + p + 4 + sign_extend(offset, 24) * 2;
        uint32_t change;
        if (!field_change(c, p, old_target, 2, &change)) continue;
        offset = (offset + change) & 0xFFFFFF;
        s = offset >> 23;
        uint32_t j1 = (~(offset >> 22) ^ s) & 1;
        uint32_t j2 = (~(offset >> 21) ^ s) & 1;
        store16(data + p, uint16_t((first & 0xF800) | s << 10 | ((offset >> 11) & 0x3FF)));
        store16(data + p + 2, uint16_t((second & 0xD000) | j1 << 13 | j2 << 11 | (offset & 0x7FF)));
        p += 2;
    }
}

// BL and B: imm26 words from the instruction. ADRP: immhi:immlo pages from
// the instruction's page, mapped by the page's start.
void a64(const copy_view& c, uint8_t* data, uint32_t from, uint32_t to)
{
    for (uint32_t p = from; p + 4 <= to; p += 4) {
        uint32_t word = kvr_le32(data + p);
        int64_t site = int64_t(c.source) + p;
        uint32_t change;
        if ((word & 0x7C000000) == 0x14000000) {
            int64_t old_target = site + sign_extend(word & 0x3FFFFFF, 26) * 4;
            if (field_change(c, p, old_target, 4, &change)) kvr_put_le32(data + p, with_field(word, 26, change));
        } else if ((word & 0x9F000000) == 0x90000000) {
            uint32_t pages = ((word >> 5) & 0x7FFFF) << 2 | ((word >> 29) & 3);
            int64_t old_target = (site & ~int64_t(0xFFF)) + sign_extend(pages, 21) * 4096;
            if (old_target < 0 || old_target > int64_t(UINT32_MAX)) continue;
            uint32_t new_target;
            if (!kvr_code_map_find(c.map, uint32_t(old_target), &new_target)) continue;
            int64_t new_site = int64_t(c.target) + p;
            pages = uint32_t((int64_t(new_target) >> 12) - (new_site >> 12)) & 0x1FFFFF;
            kvr_put_le32(data + p, (word & 0x9F00001F) | (pages & 3) << 29 | (pages >> 2) << 5);
        }
    }
}

} // namespace

bool kvr_transform_known(uint32_t kind) { return kind < KVR_TRANSFORM_KINDS; }

const char* kvr_transform_name(uint32_t kind)
{
    static const char* const names[KVR_TRANSFORM_KINDS] = {"none", "a32", "thumb2", "a64"};
    return kvr_transform_known(kind) ? names[kind] : "unknown";
}

bool kvr_code_map_find(const kvr_code_map& map, uint32_t at, uint32_t* moved_to)
{
    uint32_t low = 0, high = map.count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (kvr_le32(map.entries + uint64_t(middle) * KVR_CODE_MAP_ENTRY_SIZE) <= at)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) return false;
    const uint8_t* entry = map.entries + uint64_t(low - 1) * KVR_CODE_MAP_ENTRY_SIZE;
    uint32_t old_start = kvr_le32(entry), length = kvr_le32(entry + 8);
    if (at - old_start >= length) return false;
    *moved_to = kvr_le32(entry + 4) + (at - old_start);
    return true;
}

void kvr_predict_copy(uint32_t kind, const kvr_code_map& map, uint8_t* data, uint32_t size, uint32_t source,
                      uint32_t target, uint32_t region_start, uint32_t region_end)
{
    // The part of data inside the region, as offsets into data.
    uint64_t start = region_start > source ? region_start - source : 0;
    uint64_t end = uint64_t(region_end) > source ? uint64_t(region_end) - source : 0;
    if (end > size) end = size;
    if (start >= end || map.count == 0) return;
    uint32_t alignment = kind == KVR_TRANSFORM_THUMB2 ? 2 : 4;
    uint32_t misaligned = uint32_t((source + start) % alignment);
    uint32_t from = uint32_t(start) + (misaligned == 0 ? 0 : alignment - misaligned);
    const copy_view view{map, source, target};
    switch (kind) {
    case KVR_TRANSFORM_A32: a32(view, data, from, uint32_t(end)); break;
    case KVR_TRANSFORM_THUMB2: thumb2(view, data, from, uint32_t(end)); break;
    case KVR_TRANSFORM_A64: a64(view, data, from, uint32_t(end)); break;
    default: break;
    }
}
