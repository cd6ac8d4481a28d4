#include "code_transform.h"

namespace {

uint32_t load32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void store32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void store16(uint8_t* p, uint16_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

// Adds (encode) or subtracts (decode) `shift` to the field of `bits` bits at
// bit `at` of word, leaving every other bit.
uint32_t shifted_field(uint32_t word, int at, int bits, uint32_t shift, bool encode)
{
    uint32_t mask = (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1) << at;
    uint32_t field = (word & mask) >> at;
    field = encode ? field + shift : field - shift;
    return (word & ~mask) | ((field << at) & mask);
}

// A32: BL/BLX with any condition (bits 27-24 1011), B always and BLX with H
// clear (0xEA, 0xFA): imm24 counts words.
void a32(uint8_t* data, uint32_t from, uint32_t to, uint32_t address, bool encode)
{
    for (uint32_t p = from; p + 4 <= to; p += 4) {
        uint8_t top = data[p + 3];
        if ((top & 0x0F) != 0x0B && top != 0xEA && top != 0xFA) continue;
        store32(data + p, shifted_field(load32(data + p), 0, 24, (address + p) >> 2, encode));
    }
}

// Thumb-2 32-bit BL, BLX and B.W: first halfword 11110 S imm10, second
// 1 x J1 y J2 imm11 with (x, y) = (1, 1) BL, (1, 0) BLX, (0, 1) B.W. The
// offset S:I1:I2:imm10:imm11 (I = NOT(J XOR S)) counts halfwords. The bits
// that decide (the first halfword's top five, the second's bits 15, 14, 12)
// are never rewritten, and a rewritten pair is stepped over whole.
void thumb2(uint8_t* data, uint32_t from, uint32_t to, uint32_t address, bool encode)
{
    for (uint32_t p = from; p + 4 <= to; p += 2) {
        uint16_t first = load16(data + p);
        uint16_t second = load16(data + p + 2);
        if ((first & 0xF800) != 0xF000 || (second & 0x8000) == 0 || (second & 0x5000) == 0) continue;
        uint32_t s = (first >> 10) & 1;
        uint32_t i1 = ~((second >> 13) ^ s) & 1;
        uint32_t i2 = ~((second >> 11) ^ s) & 1;
        uint32_t offset = s << 23 | i1 << 22 | i2 << 21 | uint32_t(first & 0x3FF) << 11 | (second & 0x7FF);
        uint32_t shift = (address + p) >> 1;
        offset = (encode ? offset + shift : offset - shift) & 0xFFFFFF;
        s = offset >> 23;
        uint32_t j1 = (~(offset >> 22) ^ s) & 1;
        uint32_t j2 = (~(offset >> 21) ^ s) & 1;
        store16(data + p, uint16_t((first & 0xF800) | s << 10 | ((offset >> 11) & 0x3FF)));
        store16(data + p + 2, uint16_t((second & 0xD000) | j1 << 13 | j2 << 11 | (offset & 0x7FF)));
        p += 2;
    }
}

// A64: BL and B (imm26 counts words), ADRP (immhi:immlo counts 4 KiB pages).
void a64(uint8_t* data, uint32_t from, uint32_t to, uint32_t address, bool encode)
{
    for (uint32_t p = from; p + 4 <= to; p += 4) {
        uint32_t word = load32(data + p);
        uint32_t at = address + p;
        if ((word & 0x7C000000) == 0x14000000) {
            store32(data + p, shifted_field(word, 0, 26, at >> 2, encode));
        } else if ((word & 0x9F000000) == 0x90000000) {
            uint32_t page = ((word >> 5) & 0x7FFFF) << 2 | ((word >> 29) & 3);
            page = (encode ? page + (at >> 12) : page - (at >> 12)) & 0x1FFFFF;
            store32(data + p, (word & 0x9F00001F) | (page & 3) << 29 | (page >> 2) << 5);
        }
    }
}

void run(uint32_t kind, uint8_t* data, uint32_t size, uint32_t address, uint32_t window_start, uint32_t window_end,
         bool encode)
{
    // The part of data inside the window, as offsets into data.
    uint64_t start = window_start > address ? window_start - address : 0;
    uint64_t end = uint64_t(window_end) > address ? uint64_t(window_end) - address : 0;
    if (end > size) end = size;
    if (start >= end) return;
    uint32_t alignment = kind == KVR_TRANSFORM_THUMB2 ? 2 : 4;
    // The first instruction position of the window at the instruction set's alignment.
    uint32_t misaligned = (address + uint32_t(start)) % alignment;
    uint32_t from = uint32_t(start) + (misaligned == 0 ? 0 : alignment - misaligned);
    if (from >= end) return;
    switch (kind) {
    case KVR_TRANSFORM_A32: a32(data, from, uint32_t(end), address, encode); break;
    case KVR_TRANSFORM_THUMB2: thumb2(data, from, uint32_t(end), address, encode); break;
    case KVR_TRANSFORM_A64: a64(data, from, uint32_t(end), address, encode); break;
    default: break;
    }
}

} // namespace

bool kvr_transform_known(uint32_t kind) { return kind < KVR_TRANSFORM_KINDS; }

const char* kvr_transform_name(uint32_t kind)
{
    static const char* const names[KVR_TRANSFORM_KINDS] = {"none", "a32", "thumb2", "a64"};
    return kvr_transform_known(kind) ? names[kind] : "unknown";
}

void kvr_transform_encode(uint32_t kind, uint8_t* data, uint32_t size, uint32_t address, uint32_t window_start,
                          uint32_t window_end)
{
    run(kind, data, size, address, window_start, window_end, true);
}

void kvr_transform_decode(uint32_t kind, uint8_t* data, uint32_t size, uint32_t address, uint32_t window_start,
                          uint32_t window_end)
{
    run(kind, data, size, address, window_start, window_end, false);
}

kvr_transform_window kvr_block_window(uint32_t index, uint32_t block_size, uint32_t image_size, uint32_t region_start,
                                      uint32_t region_end)
{
    uint64_t start = uint64_t(index) * block_size;
    uint64_t end = start + block_size;
    if (end > image_size) end = image_size;
    if (start < region_start) start = region_start;
    if (end > region_end) end = region_end;
    if (start >= end) return {0, 0};
    return {uint32_t(start), uint32_t(end)};
}
