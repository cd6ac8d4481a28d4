// The branch prediction of copies: a moved call is predicted exactly when
// the map knows where its target went, and left alone otherwise; nothing
// outside the copied bytes, the region or the instruction set is touched.
#include "code_transform.h"

#include "engine_test_support.h"

#include <gtest/gtest.h>

using namespace engine_test;

namespace {

uint32_t adrp(uint32_t site, uint32_t target)
{
    const uint32_t pages = ((target >> 12) - (site >> 12)) & 0x1FFFFF;
    return 0x90000000u | (pages & 3) << 29 | (pages >> 2) << 5 | 7u;
}

std::vector<uint8_t> map_of(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> map(words.size() * 4);
    size_t at = 0;
    for (uint32_t w : words) put_le32(map, (at++) * 4, w);
    return map;
}

constexpr uint32_t kKinds[] = {KVR_TRANSFORM_A32, KVR_TRANSFORM_THUMB2, KVR_TRANSFORM_A64};

TEST(BranchPrediction, AMovedCallIsPredictedWhereTheMapSaysItsTargetWent)
{
    // Old 0x1000.. moved to 0x1400.., old 0x8000.. (the callee) to 0x8100..
    const std::vector<uint8_t> raw = map_of({0x1000, 0x1400, 0x100, 0x8000, 0x8100, 0x1000});
    const kvr_code_map map{raw.data(), 2};
    for (uint32_t kind : kKinds) {
        SCOPED_TRACE(kvr_transform_name(kind));
        std::vector<uint8_t> copy(16, 0);
        put_le32(copy, 4, arm_call(kind, 0x1004, 0x8abc & ~3u));
        put_le32(copy, 8, arm_call(kind, 0x1008, 0x20000));  // a target the map does not know
        kvr_predict_copy(kind, map, copy.data(), uint32_t(copy.size()), 0x1000, 0x1400, 0, 0x100000);
        EXPECT_EQ(get_le32(copy, 4), arm_call(kind, 0x1404, (0x8abc & ~3u) + 0x100));
        EXPECT_EQ(get_le32(copy, 8), arm_call(kind, 0x1008, 0x20000));
    }
    std::vector<uint8_t> copy(8, 0);
    put_le32(copy, 0, adrp(0x1000, 0x8123));
    kvr_predict_copy(KVR_TRANSFORM_A64, map, copy.data(), 8, 0x1000, 0x1400, 0, 0x100000);
    EXPECT_EQ(get_le32(copy, 0), adrp(0x1400, 0x8100));
}

TEST(BranchPrediction, NothingOutsideTheCopyTheRegionOrTheSetChanges)
{
    const std::vector<uint8_t> raw = map_of({0, 0x40, 0x100000});
    const kvr_code_map map{raw.data(), 1};
    for (uint32_t kind : kKinds) {
        SCOPED_TRACE(kvr_transform_name(kind));
        std::vector<uint8_t> framed(64, 0);
        for (size_t at = 0; at < 64; at += 4) put_le32(framed, at, arm_call(kind, 0x1000 + uint32_t(at), 0x3000));
        const std::vector<uint8_t> before = framed;
        // Bytes 8..22 of the frame: the calls at 8 and 12 lie inside, the one
        // at 20 runs past the end.
        kvr_predict_copy(kind, map, framed.data() + 8, 14, 0x1008, 0x1048, 0, 0x100000);
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(framed[i], before[i]);
        for (size_t i = 20; i < 64; ++i) EXPECT_EQ(framed[i], before[i]);
        EXPECT_EQ(get_le32(framed, 8), arm_call(kind, 0x1048, 0x3040));
        // Outside the region: left alone.
        std::vector<uint8_t> outside = before;
        kvr_predict_copy(kind, map, outside.data(), 64, 0x1000, 0x1040, 0x2000, 0x3000);
        EXPECT_EQ(outside, before);
        // No transform: left alone.
        kvr_predict_copy(KVR_TRANSFORM_NONE, map, outside.data(), 64, 0x1000, 0x1040, 0, 0x100000);
        EXPECT_EQ(outside, before);
    }
}

TEST(BranchPrediction, RandomBytesArePredictedAlikeEveryTime)
{
    const std::vector<uint8_t> raw = map_of({0, 0x10, 0x4000, 0x4000, 0x5000, 0x4000});
    const kvr_code_map map{raw.data(), 2};
    const std::vector<uint8_t> original = random_bytes(4099, 5);
    for (uint32_t kind : kKinds) {
        for (uint32_t source = 0; source < 8; ++source) {
            std::vector<uint8_t> once = original, again = original;
            kvr_predict_copy(kind, map, once.data(), uint32_t(once.size()), source, source + 0x10, 0, 0x100000);
            kvr_predict_copy(kind, map, again.data(), uint32_t(again.size()), source, source + 0x10, 0, 0x100000);
            ASSERT_EQ(once, again) << kvr_transform_name(kind) << " at " << source;
        }
    }
}

TEST(BranchPrediction, TheMapFindsOnlyInsideItsSegments)
{
    const std::vector<uint8_t> raw = map_of({0x100, 0x900, 0x10, 0x200, 0x50, 0x20});
    const kvr_code_map map{raw.data(), 2};
    uint32_t to = 0;
    EXPECT_FALSE(kvr_code_map_find(map, 0xFF, &to));
    ASSERT_TRUE(kvr_code_map_find(map, 0x100, &to));
    EXPECT_EQ(to, 0x900u);
    ASSERT_TRUE(kvr_code_map_find(map, 0x10F, &to));
    EXPECT_EQ(to, 0x90Fu);
    EXPECT_FALSE(kvr_code_map_find(map, 0x110, &to));
    ASSERT_TRUE(kvr_code_map_find(map, 0x21F, &to));
    EXPECT_EQ(to, 0x6Fu);
    EXPECT_FALSE(kvr_code_map_find(map, 0x220, &to));
    EXPECT_FALSE(kvr_transform_known(KVR_TRANSFORM_KINDS));
}

} // namespace
