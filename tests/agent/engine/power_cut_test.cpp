// A power cut at every write of an update, each followed by reruns until the
// update completes: the partition always ends as the target.
#include "engine_test_support.h"

#include <gtest/gtest.h>

using namespace engine_test;

namespace {

constexpr uint32_t kBlock = 4096;

// Cuts at write `cut`, then reruns (with a second cut at `second` writes into
// the first rerun when second >= 0) and finally runs uncut.
void cut_and_resume(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, long cut,
                    long second, long* total_writes)
{
    mem_flash flash = prepared(old_image, new_image, 64 * kBlock, kBlock);
    flash.cut_at_write = cut;
    uint32_t first = run_engine(&flash, false);
    if (!flash.cut) {
        // The update needed fewer writes than the cut point.
        ASSERT_EQ(first, 0u) << flash.trace;
        *total_writes = flash.writes;
        return;
    }
    ASSERT_NE(first, 0u);
    if (second >= 0) {
        flash.cut_at_write = flash.writes + second;
        run_engine(&flash, false);
    }
    flash.cut_at_write = -1;
    // Verify passes on the half-done partition, then apply finishes it.
    ASSERT_EQ(run_engine(&flash, true), 0u) << "cut " << cut << "\n" << flash.trace;
    ASSERT_EQ(run_engine(&flash, false), 0u) << "cut " << cut << "\n" << flash.trace;
    ASSERT_TRUE(holds(flash, new_image)) << "cut " << cut;
}

TEST(PowerCut, EveryWriteOfASmallUpdate)
{
    std::vector<uint8_t> old_image = random_bytes(40 * kBlock + 999, 101);
    std::vector<uint8_t> new_image = edited(old_image, 102, 30);
    long total = -1;
    long cuts = 0;
    for (long cut = 0; total < 0 && cut < 1000; ++cut, ++cuts) cut_and_resume(old_image, new_image, cut, -1, &total);
    EXPECT_GT(total, 4);
    EXPECT_EQ(cuts, total + 1);
    RecordProperty("cuts", int(cuts));
}

TEST(PowerCut, SecondCutDuringTheRerun)
{
    std::vector<uint8_t> old_image = random_bytes(20 * kBlock + 77, 111);
    std::vector<uint8_t> new_image = edited(old_image, 112, 15);
    long total = -1;
    for (long cut = 0; total < 0 && cut < 200; cut += 3)
        for (long second = 0; second < 4; ++second) cut_and_resume(old_image, new_image, cut, second, &total);
    EXPECT_GT(total, 0);
}

TEST(PowerCut, BlockThatReadsItselfTornMidWrite)
{
    std::vector<uint8_t> old_image = random_bytes(8 * kBlock, 121);
    std::vector<uint8_t> new_image = old_image;
    std::rotate(new_image.begin() + 2 * kBlock, new_image.begin() + 2 * kBlock + 64, new_image.begin() + 3 * kBlock);
    long total = -1;
    // Write 0 is the backup, write 1 the block itself.
    cut_and_resume(old_image, new_image, 1, -1, &total);
    cut_and_resume(old_image, new_image, 0, -1, &total);
    EXPECT_LT(total, 0);
}

} // namespace
