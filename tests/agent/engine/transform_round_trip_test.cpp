// Updates whose deltas use a code transform: they end on the target, cut
// at every write or not, they are smaller on moved code, and a delta naming
// a transform the engine does not know is refused before anything is written.
#include "code_transform.h"
#include "delta_format.h"
#include "delta_packing.h"
#include "engine_test_support.h"
#include "image_delta.h"

#include <gtest/gtest.h>

#include <random>

using namespace engine_test;

namespace {

constexpr uint32_t kBlock = 4096;

// Code-like images: words of filler with calls to a few functions; the new
// image has words inserted in a few places, and every call points at where
// its function went.
struct code_pair {
    std::vector<uint8_t> old_image, new_image;
};

code_pair make_code_pair(uint32_t kind, uint32_t words, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> filler(words);
    // Filler that is never a branch of any kind: small constants.
    for (uint32_t& w : filler) w = rng() % 64 == 0 ? rng() & 0x0000FFFF : (rng() % 16) << 4;
    std::vector<uint32_t> functions;
    for (int i = 0; i < 40; ++i) functions.push_back((rng() % words) & ~3u);
    std::vector<bool> is_call(words);
    std::vector<uint32_t> callee(words);
    for (uint32_t i = 0; i < words; ++i) {
        is_call[i] = rng() % 6 == 0;
        callee[i] = rng() % functions.size();
    }
    // Insertions: at these word indices, this many words are added.
    std::vector<uint32_t> inserted_before(words + 1, 0);
    for (int i = 0; i < 12; ++i) inserted_before[rng() % words] += 1 + rng() % 8;
    std::vector<uint32_t> new_index(words + 1);
    uint32_t shift = 0;
    for (uint32_t i = 0; i <= words; ++i) {
        shift += inserted_before[i];
        new_index[i] = i + shift;
    }
    code_pair pair;
    pair.old_image.assign(size_t(words) * 4, 0);
    pair.new_image.assign(size_t(new_index[words]) * 4, 0);
    for (uint32_t i = 0; i < words; ++i) {
        const uint32_t f = functions[callee[i]] / 4;
        put_le32(pair.old_image, size_t(i) * 4, is_call[i] ? arm_call(kind, i * 4, f * 4) : filler[i]);
        put_le32(pair.new_image, size_t(new_index[i]) * 4,
              is_call[i] ? arm_call(kind, new_index[i] * 4, new_index[f] * 4) : filler[i]);
    }
    return pair;
}

constexpr uint32_t kKinds[] = {KVR_TRANSFORM_A32, KVR_TRANSFORM_THUMB2, KVR_TRANSFORM_A64};

TEST(TransformRoundTrip, EveryKindEndsOnTheTargetAndIsSmallerOnMovedCode)
{
    for (uint32_t kind : kKinds) {
        SCOPED_TRACE(kvr_transform_name(kind));
        const code_pair pair = make_code_pair(kind, 60000, 7 + kind);
        fotapack::delta_stats plain_stats, coded_stats, chosen_stats;
        const size_t plain = fotapack::make_image_delta(pair.old_image, pair.new_image, kBlock, &plain_stats, KVR_TRANSFORM_NONE).size();
        const size_t coded = fotapack::make_image_delta(pair.old_image, pair.new_image, kBlock, &coded_stats, kind).size();
        EXPECT_EQ(coded_stats.transform, kind);
        EXPECT_LT(coded, plain) << "with " << coded << " bytes, without " << plain;
        // Left to choose, fotapack takes the smaller.
        const size_t chosen = fotapack::make_image_delta(pair.old_image, pair.new_image, kBlock, &chosen_stats).size();
        EXPECT_EQ(chosen, std::min(plain, chosen));
        EXPECT_EQ(chosen_stats.without_transform, plain);

        mem_flash flash = prepared(pair.old_image, pair.new_image, 80 * kBlock, kBlock, kind);
        ASSERT_EQ(run_engine(&flash, true), 0u) << flash.trace;
        EXPECT_EQ(flash.block_writes, 0);
        ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
        EXPECT_TRUE(holds(flash, pair.new_image));
        EXPECT_EQ(flash.block_writes, flash.backup_writes);
        EXPECT_LE(traced_heap_peak(flash), 0xA00000u);
        const long writes = flash.block_writes;
        ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
        EXPECT_EQ(flash.block_writes, writes);
    }
}

TEST(TransformRoundTrip, RandomBytesUnderEveryTransformStillRoundTrip)
{
    // Data that merely looks like code here and there.
    for (uint32_t kind : kKinds) {
        SCOPED_TRACE(kvr_transform_name(kind));
        const std::vector<uint8_t> old_image = random_bytes(30 * kBlock + 1234, 40 + kind);
        const std::vector<uint8_t> new_image = edited(old_image, 50 + kind, 25);
        mem_flash flash = prepared(old_image, new_image, 40 * kBlock, kBlock, kind);
        ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
        EXPECT_TRUE(holds(flash, new_image));
    }
}

TEST(TransformRoundTrip, PowerCutAtEveryWriteEndsOnTheTarget)
{
    const code_pair pair = make_code_pair(KVR_TRANSFORM_THUMB2, 20000, 3);
    long total = -1;
    for (long cut = 0; total < 0 && cut < 2000; ++cut) {
        mem_flash flash = prepared(pair.old_image, pair.new_image, 30 * kBlock, kBlock, KVR_TRANSFORM_THUMB2);
        flash.cut_at_write = cut;
        const uint32_t first = run_engine(&flash, false);
        if (!flash.cut) {
            ASSERT_EQ(first, 0u) << flash.trace;
            total = flash.writes;
            break;
        }
        flash.cut_at_write = -1;
        ASSERT_EQ(run_engine(&flash, true), 0u) << "cut " << cut << "\n" << flash.trace;
        ASSERT_EQ(run_engine(&flash, false), 0u) << "cut " << cut << "\n" << flash.trace;
        ASSERT_TRUE(holds(flash, pair.new_image)) << "cut " << cut;
    }
    EXPECT_GT(total, 4);
}

TEST(TransformRoundTrip, AnUnknownTransformIsRefusedBeforeAnyWrite)
{
    const code_pair pair = make_code_pair(KVR_TRANSFORM_A32, 20000, 5);
    mem_flash flash = prepared(pair.old_image, pair.new_image, 30 * kBlock, kBlock, KVR_TRANSFORM_A32);
    kvr_delta_header header = {};
    ASSERT_TRUE(kvr_delta_header_read(flash.delta.data(), uint32_t(flash.delta.size()), &header));
    const std::vector<uint8_t> body(flash.delta.begin() + kvr_delta_header_size(header), flash.delta.end());
    for (uint32_t transform : {KVR_TRANSFORM_KINDS, 0x80000001u}) {
        header.image.transform = transform;
        // Sealed anew, so that only the field is wrong.
        flash.delta = fotapack::seal_delta(header, body);
        const std::vector<uint8_t> before = flash.flash;
        EXPECT_NE(run_engine(&flash, true), 0u);
        EXPECT_NE(run_engine(&flash, false), 0u);
        EXPECT_EQ(flash.block_writes + flash.backup_writes, 0);
        EXPECT_TRUE(flash.flash == before);
        EXPECT_NE(flash.trace.find("code transform " + std::to_string(transform)), std::string::npos) << flash.trace;
    }
}

} // namespace
