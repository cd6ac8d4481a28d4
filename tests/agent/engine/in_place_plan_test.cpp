// The in-place order: blocks that read themselves, long dependency cycles,
// shifts in both directions.
#include "block_plan.h"
#include "engine_test_support.h"
#include "image_delta.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace engine_test;

namespace {

constexpr uint32_t kBlock = 4096;

fotapack::block_plan plan_of(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image)
{
    return fotapack::plan_blocks(old_image, new_image, fotapack::match_images(old_image, new_image), kBlock);
}

void expect_update(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image)
{
    mem_flash flash = prepared(old_image, new_image, uint32_t(std::max(old_image.size(), new_image.size()) + kBlock), kBlock);
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_TRUE(holds(flash, new_image));
}

// No block is written after a block that still reads its old content.
void expect_safe_order(const fotapack::block_plan& plan)
{
    std::vector<bool> written(1 << 16, false);
    for (const fotapack::planned_block& b : plan.blocks) {
        for (uint32_t read : b.reads) EXPECT_TRUE(read == b.index || !written[read]) << b.index << " reads " << read;
        written[b.index] = true;
    }
}

TEST(InPlacePlan, BlockThatCopiesFromItself)
{
    std::vector<uint8_t> old_image = random_bytes(8 * kBlock, 61);
    std::vector<uint8_t> new_image = old_image;
    // Block 3 keeps its content, moved 100 bytes down inside the block.
    std::rotate(new_image.begin() + 3 * kBlock, new_image.begin() + 3 * kBlock + 100, new_image.begin() + 4 * kBlock);
    fotapack::block_plan plan = plan_of(old_image, new_image);
    ASSERT_EQ(plan.blocks.size(), 1u);
    EXPECT_EQ(plan.blocks[0].index, 3u);
    EXPECT_NE(std::find(plan.blocks[0].reads.begin(), plan.blocks[0].reads.end(), 3u), plan.blocks[0].reads.end());
    EXPECT_EQ(plan.broken_copies, 0u);
    expect_update(old_image, new_image);
}

TEST(InPlacePlan, LongDependencyCycleIsBroken)
{
    constexpr uint32_t kBlocks = 64;
    std::vector<uint8_t> old_image = random_bytes(kBlocks * kBlock, 71);
    std::vector<uint8_t> new_image(old_image.size());
    // New block i is old block i + 1, the last is old block 0: one cycle
    // through every block.
    for (uint32_t i = 0; i < kBlocks; ++i)
        std::copy_n(old_image.begin() + long(((i + 1) % kBlocks) * kBlock), kBlock, new_image.begin() + long(i * kBlock));
    fotapack::block_plan plan = plan_of(old_image, new_image);
    EXPECT_EQ(plan.blocks.size(), kBlocks);
    EXPECT_GT(plan.broken_copies, 0u);
    EXPECT_LE(plan.broken_copies, 2 * kBlock);
    expect_safe_order(plan);
    expect_update(old_image, new_image);
    std::vector<uint8_t> delta = fotapack::make_image_delta(old_image, new_image, kBlock, nullptr);
    EXPECT_LT(delta.size(), old_image.size() / 8);
}

TEST(InPlacePlan, InsertionAndDeletionShifts)
{
    std::vector<uint8_t> old_image = random_bytes(30 * kBlock + 123, 81);
    std::vector<uint8_t> inserted = old_image;
    std::vector<uint8_t> piece = random_bytes(777, 82);
    inserted.insert(inserted.begin() + 1000, piece.begin(), piece.end());
    std::vector<uint8_t> deleted = old_image;
    deleted.erase(deleted.begin() + 1000, deleted.begin() + 1777);
    for (const auto* new_image : {&inserted, &deleted}) {
        fotapack::block_plan plan = plan_of(old_image, *new_image);
        expect_safe_order(plan);
        EXPECT_EQ(plan.broken_copies, 0u);
        expect_update(old_image, *new_image);
    }
}

TEST(InPlacePlan, RandomEditsKeepASafeOrder)
{
    for (uint32_t seed = 90; seed < 95; ++seed) {
        std::vector<uint8_t> old_image = random_bytes(50 * kBlock + seed, seed);
        std::vector<uint8_t> new_image = edited(old_image, seed * 3, 60);
        expect_safe_order(plan_of(old_image, new_image));
        expect_update(old_image, new_image);
    }
}

} // namespace
