// File-system deltas made by fotapack and applied by the engine to a copy of
// the old tree: the result is the new tree, entry for entry.
#include "engine_run.h"
#include "engine_test_support.h"
#include "fs_delta.h"
#include "fs_sample_trees.h"
#include "fs_test_support.h"

#include <gtest/gtest.h>

using namespace fs_test;

namespace {

// Applies old -> new in a fresh device and checks the result; then a
// verify and a second apply of the finished tree pass and change nothing.
void round_trip(const std::string& dir)
{
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    ASSERT_EQ(device.run(true), 0u) << device.flash.trace;
    EXPECT_EQ(device.flash.writes, 0);
    ASSERT_EQ(device.run(false), 0u) << device.flash.trace;
    EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "");
    EXPECT_EQ(device.flash.last_percent, 100u);
    ASSERT_EQ(device.run(true), 0u) << device.flash.trace;
    ASSERT_EQ(device.run(false), 0u) << device.flash.trace;
    EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "");
}

TEST(FsRoundTrip, EveryKindOfChange)
{
    std::string dir = scratch("mixed");
    make_mixed_trees(dir + "/old", dir + "/new");
    round_trip(dir);
}

TEST(FsRoundTrip, PathsThatChangeKind)
{
    std::string dir = scratch("kinds");
    make_kind_change_trees(dir + "/old", dir + "/new");
    round_trip(dir);
}

TEST(FsRoundTrip, FilesLargerThanAFrame)
{
    std::string dir = scratch("large");
    std::vector<uint8_t> big = engine_test::random_bytes(5 << 20, 31);
    put_file(dir + "/old", "big", big);
    put_file(dir + "/new", "big", engine_test::edited(big, 32, 40));
    put_file(dir + "/new", "fresh", engine_test::random_bytes(4 << 20, 33));
    fotapack::fs_delta_stats stats;
    fotapack::make_fs_delta(dir + "/old", dir + "/new", &stats);
    EXPECT_GE(stats.frames, 4u);
    round_trip(dir);
}

TEST(FsRoundTrip, IdenticalTreesGiveNoOperations)
{
    std::string dir = scratch("same");
    make_mixed_trees(dir + "/old", dir + "/unused");
    copy_tree(dir + "/old", dir + "/new");
    fotapack::fs_delta_stats stats;
    fotapack::make_fs_delta(dir + "/old", dir + "/new", &stats);
    EXPECT_EQ(stats.operations, 0u);
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    ASSERT_EQ(device.run(false), 0u) << device.flash.trace;
    EXPECT_EQ(device.flash.writes, 0);
    EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "");
}

TEST(FsDelta, SameTreesGiveTheSameBytes)
{
    std::string dir = scratch("deterministic");
    make_mixed_trees(dir + "/old", dir + "/new");
    copy_tree(dir + "/old", dir + "/old2");
    copy_tree(dir + "/new", dir + "/new2");
    std::vector<uint8_t> first = fotapack::make_fs_delta(dir + "/old", dir + "/new", nullptr);
    EXPECT_EQ(fotapack::make_fs_delta(dir + "/old2", dir + "/new2", nullptr), first);
    EXPECT_EQ(std::string(first.begin(), first.begin() + 4), "KVRD");
}

TEST(FsDelta, KindMustMatchThePartition)
{
    std::string dir = scratch("kind");
    make_mixed_trees(dir + "/old", dir + "/new");
    mem_flash image = make_mem_flash(std::vector<uint8_t>(8192, 1), 16384, 4096);
    image.delta = fotapack::make_fs_delta(dir + "/old", dir + "/new", nullptr);
    EXPECT_EQ(run_engine(&image, false), KVR_ENGINE_ERR_UNSUPPORTED);
    EXPECT_EQ(image.writes, 0);
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    device.flash.delta = engine_test::prepared({1, 2, 3}, {1, 2, 4}, 4096, 4096).delta;
    EXPECT_EQ(device.run(false), KVR_ENGINE_ERR_UNSUPPORTED);
    EXPECT_EQ(device.flash.writes, 0);
}

} // namespace
