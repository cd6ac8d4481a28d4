// A power cut at every change a file-system update makes (file writes,
// copies, folders, removals, renames, links, attributes), each followed by a
// verify and reruns: the tree always ends as the new tree.
#include "fs_sample_trees.h"
#include "fs_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace fs_test;

namespace {

// Cuts at change `cut` (and, when second >= 0, again `second` changes into
// the first rerun), then reruns uncut. Returns the changes of a whole
// update when it ran without reaching the cut, else -1.
long cut_and_resume(const std::string& dir, long cut, long second)
{
    std::string where = dir + "/device";
    std::filesystem::remove_all(where);
    fs_device device = make_device(dir + "/old", dir + "/new", where);
    device.flash.cut_at_write = cut;
    uint32_t first = device.run(false);
    if (!device.flash.cut) {
        EXPECT_EQ(first, 0u) << device.flash.trace;
        EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "");
        return device.flash.writes;
    }
    EXPECT_NE(first, 0u);
    if (second >= 0) {
        device.flash.cut_at_write = device.flash.writes + second;
        device.run(false);
    }
    device.flash.cut_at_write = -1;
    EXPECT_EQ(device.run(true), 0u) << "cut " << cut << "\n" << device.flash.trace;
    EXPECT_EQ(device.run(false), 0u) << "cut " << cut << "\n" << device.flash.trace;
    EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "") << "cut " << cut;
    return -1;
}

long every_cut(const std::string& dir, long second, long step)
{
    long total = -1, cuts = 0;
    for (long cut = 0; total < 0 && cut < 5000 && !testing::Test::HasFailure(); cut += step, ++cuts)
        total = cut_and_resume(dir, cut, second);
    EXPECT_GT(total, 0);
    return cuts - 1;
}

TEST(FsPowerCut, EveryChangeOfAMixedUpdate)
{
    std::string dir = scratch("cut_mixed");
    make_mixed_trees(dir + "/old", dir + "/new");
    long cuts = every_cut(dir, -1, 1);
    EXPECT_GT(cuts, 30);
    RecordProperty("cuts", int(cuts));
}

TEST(FsPowerCut, EveryChangeOfPathsThatChangeKind)
{
    std::string dir = scratch("cut_kinds");
    make_kind_change_trees(dir + "/old", dir + "/new");
    long cuts = every_cut(dir, -1, 1);
    EXPECT_GT(cuts, 10);
    RecordProperty("cuts", int(cuts));
}

TEST(FsPowerCut, SecondCutDuringTheRerun)
{
    std::string dir = scratch("cut_twice");
    make_kind_change_trees(dir + "/old", dir + "/new");
    for (long second = 0; second < 4; ++second) every_cut(dir, second, 1);
}

} // namespace
