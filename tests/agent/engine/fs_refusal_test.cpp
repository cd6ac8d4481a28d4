// A file-system update that cannot run refuses before its first change: a
// source file that differs, too little free space, a damaged delta.
#include "engine_run.h"
#include "fs_sample_trees.h"
#include "fs_test_support.h"

#include <gtest/gtest.h>

using namespace fs_test;

namespace {

TEST(FsRefusal, ChangedSourceFileFailsVerifyAndApplyWithoutWriting)
{
    std::string dir = scratch("source");
    make_mixed_trees(dir + "/old", dir + "/new");
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    put_text(device.mount, "etc/config", "a=1\nb=2\nc=9\n");
    copy_tree(device.mount, dir + "/before");
    EXPECT_EQ(device.run(true), KVR_ENGINE_ERR_SOURCE);
    EXPECT_NE(device.flash.trace.find("etc/config"), std::string::npos) << device.flash.trace;
    EXPECT_EQ(device.run(false), KVR_ENGINE_ERR_SOURCE);
    EXPECT_EQ(device.flash.writes, 0);
    EXPECT_EQ(tree_difference(device.mount, dir + "/before"), "");
}

TEST(FsRefusal, MissingRenameSourceFailsWithoutWriting)
{
    std::string dir = scratch("rename_source");
    make_mixed_trees(dir + "/old", dir + "/new");
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    std::remove((device.mount + "lib/libx.so").c_str());
    EXPECT_EQ(device.run(false), KVR_ENGINE_ERR_SOURCE);
    EXPECT_EQ(device.flash.writes, 0);
}

TEST(FsRefusal, TooLittleFreeSpaceFailsBeforeTheFirstWrite)
{
    std::string dir = scratch("space");
    make_mixed_trees(dir + "/old", dir + "/new");
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    copy_tree(device.mount, dir + "/before");
    device.flash.free_space = 64 * 1024;
    EXPECT_EQ(device.run(false), KVR_ENGINE_ERR_NO_SPACE);
    EXPECT_EQ(device.flash.writes_at_space_query, 0);
    EXPECT_EQ(device.flash.writes, 0);
    EXPECT_EQ(tree_difference(device.mount, dir + "/before"), "");
    device.flash.free_space = 1 << 20;
    EXPECT_EQ(device.run(false), 0u) << device.flash.trace;
    EXPECT_EQ(device.flash.writes_at_space_query, 0);
    EXPECT_EQ(tree_difference(device.mount, dir + "/new"), "");
}

TEST(FsRefusal, DamagedDeltaWritesNothing)
{
    std::string dir = scratch("damaged");
    make_mixed_trees(dir + "/old", dir + "/new");
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    std::vector<uint8_t> good = device.flash.delta;
    for (size_t at : {size_t(10), size_t(200), good.size() / 2, good.size() - 1}) {
        device.flash.delta = good;
        device.flash.delta[at] ^= 0x40;
        EXPECT_NE(device.run(false), 0u) << "flip at " << at;
        EXPECT_EQ(device.flash.writes, 0) << "flip at " << at;
    }
    device.flash.delta.assign(good.begin(), good.end() - 100);
    EXPECT_NE(device.run(false), 0u);
    EXPECT_EQ(device.flash.writes, 0);
}

TEST(FsRefusal, HeapTooSmallFailsCleanly)
{
    std::string dir = scratch("heap");
    make_mixed_trees(dir + "/old", dir + "/new");
    fs_device device = make_device(dir + "/old", dir + "/new", dir + "/device");
    EXPECT_EQ(run_fs_engine(&device.flash, false, device.mount.c_str(), device.tmp.c_str(), 32 * 1024),
              KVR_ENGINE_ERR_NO_MEMORY);
    EXPECT_EQ(device.flash.writes, 0);
}

} // namespace
