// The ARM branch transform: exact inverse for any bytes at any alignment and
// window, the encodings it rewrites, and moved calls encoding alike.
#include "code_transform.h"

#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace engine_test;

namespace {

constexpr uint32_t kKinds[] = {KVR_TRANSFORM_A32, KVR_TRANSFORM_THUMB2, KVR_TRANSFORM_A64};

void put32(std::vector<uint8_t>& data, size_t at, uint32_t word)
{
    for (int i = 0; i < 4; ++i) data[at + i] = uint8_t(word >> (8 * i));
}

uint32_t get32(const std::vector<uint8_t>& data, size_t at)
{
    return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24;
}

// Random bytes with many words of every kind's branch shapes, so that
// matches sit next to each other, overlap and cross the window's edges.
std::vector<uint8_t> branchy_bytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> data = random_bytes(size, seed);
    std::mt19937 rng(seed);
    struct shape {
        uint32_t value, fixed;
    };
    const shape shapes[] = {{0xEB000000, 0xFF000000}, {0x0B000000, 0x0F000000}, {0xEA000000, 0xFF000000},
                            {0xFA000000, 0xFF000000}, {0xD000F000, 0xD000F800}, {0x9000F000, 0xD000F800},
                            {0xC000F000, 0xD000F800}, {0xF800F000, 0xF800F800}, {0x94000000, 0xFC000000},
                            {0x14000000, 0xFC000000}, {0x90000000, 0x9F000000}, {0xF7FFF7FF, 0xFFFFFFFF}};
    for (size_t at = 0; at + 4 <= size; at += 2) {
        if (rng() % 3 != 0) continue;
        const shape& s = shapes[rng() % (sizeof shapes / sizeof shapes[0])];
        put32(data, at, s.value | (get32(data, at) & ~s.fixed));
    }
    return data;
}

TEST(CodeTransform, DecodeUndoesEncodeForAnyBytesAlignmentAndWindow)
{
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const std::vector<uint8_t> original = seed == 1 ? random_bytes(4099, seed) : branchy_bytes(4099, seed);
        for (uint32_t kind : kKinds) {
            for (uint32_t address = 0; address < 8; ++address) {
                for (uint32_t cut : {0u, 1u, 2u, 3u, 5u}) {
                    std::vector<uint8_t> data = original;
                    const uint32_t start = address + cut;
                    const uint32_t end = address + uint32_t(data.size()) - cut * 3;
                    kvr_transform_encode(kind, data.data(), uint32_t(data.size()), address, start, end);
                    if (seed > 1) {
                        EXPECT_NE(data, original) << kvr_transform_name(kind) << " changed nothing";
                    }
                    kvr_transform_decode(kind, data.data(), uint32_t(data.size()), address, start, end);
                    ASSERT_EQ(data, original) << kvr_transform_name(kind) << " at " << address << " cut " << cut << " seed " << seed;
                }
            }
        }
    }
}

TEST(CodeTransform, OnlyInstructionsWhollyInsideTheWindowAndTheBufferChange)
{
    for (uint32_t kind : kKinds) {
        const std::vector<uint8_t> original = branchy_bytes(256, 9);
        std::vector<uint8_t> data = original;
        // A window from 6 to 250 of a buffer at image offset 0x1000.
        kvr_transform_encode(kind, data.data(), uint32_t(data.size()), 0x1000, 0x1006, 0x10FA);
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(data[i], original[i]) << kvr_transform_name(kind);
        for (size_t i = 250; i < 256; ++i) EXPECT_EQ(data[i], original[i]) << kvr_transform_name(kind);
        // Nothing outside the buffer is touched even when the window is wider.
        std::vector<uint8_t> framed(264, 0xEB);
        std::copy(original.begin(), original.end(), framed.begin() + 4);
        kvr_transform_encode(kind, framed.data() + 4, 256, 0x1000, 0, 0x100000);
        for (size_t i : {0, 1, 2, 3, 260, 261, 262, 263}) EXPECT_EQ(framed[i], 0xEB) << kvr_transform_name(kind);
    }
}

TEST(CodeTransform, CallsToOneFunctionFromAnywhereEncodeAlike)
{
    // Two calls to the function at 0x8000: from 0x1000 and from 0x2468.
    std::vector<uint8_t> a32(0x3000, 0);
    put32(a32, 0x1000, 0xEB000000 | ((0x8000 - 0x1000 - 8) >> 2));
    put32(a32, 0x2468, 0xEB000000 | (((0x8000 - 0x2468 - 8) >> 2) & 0xFFFFFF));
    kvr_transform_encode(KVR_TRANSFORM_A32, a32.data(), uint32_t(a32.size()), 0, 0, uint32_t(a32.size()));
    EXPECT_EQ(get32(a32, 0x1000), get32(a32, 0x2468));
    EXPECT_EQ(get32(a32, 0x1000), 0xEB000000u | ((0x8000 - 8) >> 2));

    std::vector<uint8_t> a64(0x3000, 0);
    put32(a64, 0x1000, 0x94000000 | ((0x8000 - 0x1000) >> 2));
    put32(a64, 0x2468, 0x94000000 | ((0x8000 - 0x2468) >> 2));
    // ADRP of the page of 0x123456 from two pages.
    auto adrp = [](uint32_t pages) { return 0x90000000u | (pages & 3) << 29 | (pages >> 2) << 5 | 3u; };
    put32(a64, 0x0ffc, adrp((0x123456 >> 12) - 0));
    put32(a64, 0x2000, adrp((0x123456 >> 12) - 2));
    kvr_transform_encode(KVR_TRANSFORM_A64, a64.data(), uint32_t(a64.size()), 0, 0, uint32_t(a64.size()));
    EXPECT_EQ(get32(a64, 0x1000), get32(a64, 0x2468));
    EXPECT_EQ(get32(a64, 0x0ffc), get32(a64, 0x2000));

    // Thumb-2 BL (offset counted from the instruction + 4), forward and back.
    auto thumb_bl = [](int32_t offset) {
        const uint32_t imm = uint32_t(offset >> 1) & 0xFFFFFF;
        const uint32_t s = imm >> 23, i1 = (imm >> 22) & 1, i2 = (imm >> 21) & 1;
        const uint32_t j1 = (~i1 ^ s) & 1, j2 = (~i2 ^ s) & 1;
        const uint32_t first = 0xF000 | s << 10 | ((imm >> 11) & 0x3FF);
        const uint32_t second = 0xD000 | j1 << 13 | j2 << 11 | (imm & 0x7FF);
        return first | second << 16;
    };
    std::vector<uint8_t> thumb(0x3000, 0);
    put32(thumb, 0x0100, thumb_bl(0x2000 - 0x0104));
    put32(thumb, 0x2802, thumb_bl(0x2000 - 0x2806));
    kvr_transform_encode(KVR_TRANSFORM_THUMB2, thumb.data(), uint32_t(thumb.size()), 0, 0, uint32_t(thumb.size()));
    EXPECT_EQ(get32(thumb, 0x0100), get32(thumb, 0x2802));
    EXPECT_EQ(get32(thumb, 0x0100), thumb_bl(0x2000 - 4));
}

TEST(CodeTransform, BlockWindowsClipToTheImageAndTheRegion)
{
    kvr_transform_window w = kvr_block_window(2, 0x1000, 0x2800, 0x100, 0x2700);
    EXPECT_EQ(w.start, 0x2000u);
    EXPECT_EQ(w.end, 0x2700u);
    w = kvr_block_window(0, 0x1000, 0x2800, 0x100, 0x2700);
    EXPECT_EQ(w.start, 0x100u);
    EXPECT_EQ(w.end, 0x1000u);
    w = kvr_block_window(3, 0x1000, 0x2800, 0, 0x2800);
    EXPECT_EQ(w.start, w.end);
    EXPECT_FALSE(kvr_transform_known(KVR_TRANSFORM_KINDS));
}

} // namespace
