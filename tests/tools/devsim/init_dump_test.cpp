// devsim init from a layout file and devsim dump back out: images and
// folders round trip, the device files are where the sim agent reads them,
// and a bad layout or a used folder is refused without making anything.
#include "devsim_test_support.h"

#include "os.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <filesystem>
#include <random>

using namespace devsim_test;

namespace {

namespace fs = std::filesystem;

std::string random_bytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

class InitDump : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_bytes(folder / "src/kernel.img", kernel);
        write_bytes(folder / "src/uboot.img", uboot);
        write_bytes(folder / "src/rootfs/etc/version", "1.0\n");
        write_bytes(folder / "src/rootfs/bin/app", random_bytes(300, 3));
        fs::create_symlink("app", folder / "src/rootfs/bin/app_link");
        write_bytes(folder / "src/device.layout", "# test device\n"
                                                  "\n"
                                                  "kernel 0x8000 16K 2048 image=kernel.img\n"
                                                  "  uboot 64K 0x4000 4096 oob=128 image=uboot.img\r\n"
                                                  "system 0x8000 0x4000 2048 mount=/system folder=rootfs\n"
                                                  "misc 0x4000 0x4000 2048\n"
                                                  "cache 0x8000 0x4000 2048 mount=/cache\n");
    }

    devsim_result init()
    {
        return run_devsim({"init", root.string(), "--layout", (folder / "src/device.layout").string()});
    }

    temp_folder folder;
    fs::path root = folder / "root";
    std::string kernel = random_bytes(0x8000, 1);
    std::string uboot = random_bytes(5000, 2);
};

TEST_F(InitDump, ImageDumpsBackByteIdentical)
{
    devsim_result made = init();
    ASSERT_EQ(made.status, 0) << made.err;
    devsim_result dumped = run_devsim({"dump", root.string(), "kernel", (folder / "kernel.out").string()});
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    EXPECT_EQ(read_bytes(folder / "kernel.out"), kernel);
}

TEST_F(InitDump, ShortImageIsFollowedByErasedFlash)
{
    ASSERT_EQ(init().status, 0);
    ASSERT_EQ(run_devsim({"dump", root.string(), "uboot", (folder / "uboot.out").string()}).status, 0);
    EXPECT_EQ(read_bytes(folder / "uboot.out"), uboot + std::string(0x10000 - uboot.size(), '\xFF'));
    ASSERT_EQ(run_devsim({"dump", root.string(), "misc", (folder / "misc.out").string()}).status, 0);
    EXPECT_EQ(read_bytes(folder / "misc.out"), std::string(0x4000, '\xFF'));
}

TEST_F(InitDump, FolderDumpsBackWithItsLinks)
{
    ASSERT_EQ(init().status, 0);
    fs::path out = folder / "system.out";
    devsim_result dumped = run_devsim({"dump", root.string(), "system", out.string()});
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    EXPECT_EQ(read_bytes(out / "etc/version"), "1.0\n");
    EXPECT_EQ(read_bytes(out / "bin/app"), random_bytes(300, 3));
    ASSERT_TRUE(fs::is_symlink(out / "bin/app_link"));
    EXPECT_EQ(fs::read_symlink(out / "bin/app_link"), "app");
    EXPECT_EQ(run_devsim({"dump", root.string(), "system", out.string()}).status, 1);
}

TEST_F(InitDump, DeviceFilesAreWhereTheSimAgentReadsThem)
{
    devsim_result made = init();
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(read_bytes(root / "proc/mtd"), "dev:    size   erasesize  name\n"
                                             "mtd0: 00008000 00004000 \"kernel\"\n"
                                             "mtd1: 00010000 00004000 \"uboot\"\n"
                                             "mtd2: 00008000 00004000 \"system\"\n"
                                             "mtd3: 00004000 00004000 \"misc\"\n"
                                             "mtd4: 00008000 00004000 \"cache\"\n");
    EXPECT_EQ(read_bytes(root / "dev/mtd/mtd0"), kernel);
    EXPECT_EQ(read_bytes(root / "dev/mtd/mtd2"), std::string(0x8000, '\xFF'));
    EXPECT_EQ(read_bytes(root / "sys/class/mtd/mtd1/writesize"), "4096\n");
    EXPECT_EQ(read_bytes(root / "sys/class/mtd/mtd1/oobsize"), "128\n");
    EXPECT_EQ(read_bytes(root / "sys/class/mtd/mtd0/oobsize"), "64\n");
    fs::path files = fs::canonical(root) / "sim/yaffs2/mtd2";
    EXPECT_EQ(read_bytes(files / "etc/version"), "1.0\n");
    ASSERT_TRUE(fs::is_symlink(root / "system"));
    EXPECT_EQ(fs::read_symlink(root / "system"), files);
    ASSERT_TRUE(fs::is_symlink(root / "cache"));
    EXPECT_EQ(fs::read_symlink(root / "cache"), fs::canonical(root) / "sim/yaffs2/mtd4");
    EXPECT_FALSE(fs::exists(root / "cache/kvr_fota/log_flag"));
    EXPECT_NE(made.out.find("mtd1  uboot"), std::string::npos) << made.out;
}

// The sim agent's own mount of the partition's block device shows the files
// of the layout's folder.
TEST_F(InitDump, SimulatedDeviceMountsTheFileSystem)
{
    ASSERT_EQ(init().status, 0);
    setenv("KVR_FOTA_ROOT", root.c_str(), 1);
    ASSERT_EQ(os_init(), 0);
    ASSERT_EQ(os_mkdir("/cache/mnt", 0700), 0);
    ASSERT_EQ(os_mount("/dev/block/mtdblock2", "/cache/mnt", "yaffs2", 0), 0);
    std::string version;
    if (FILE* file = os_fopen("/cache/mnt/etc/version", "r")) {
        char text[16] = {};
        version.assign(text, std::fread(text, 1, sizeof text - 1, file));
        std::fclose(file);
    }
    EXPECT_EQ(version, "1.0\n");
    EXPECT_EQ(os_umount("/cache/mnt"), 0);
    unsetenv("KVR_FOTA_ROOT");
}

TEST_F(InitDump, AgentLogSwitch)
{
    ASSERT_EQ(run_devsim({"init", root.string(), "--agent-log"}).status, 0);
    EXPECT_TRUE(fs::exists(root / "cache/kvr_fota/log_flag"));
    EXPECT_EQ(fs::status(root / "cache/kvr_fota").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(InitDump, DefaultLayoutHasEveryPartitionTheAgentNeeds)
{
    ASSERT_EQ(run_devsim({"init", root.string()}).status, 0);
    std::string table = read_bytes(root / "proc/mtd");
    for (const char* name :
         {"init", "obm", "obm_cfg", "mep2", "uboot", "arbel", "msabinary", "rfplugin", "kernel", "system", "userdata",
          "mass_storage", "NVMFS", "recovery", "kernel_maintenance", "uboot_maintenance", "misc", "fota", "cache"})
        EXPECT_NE(table.find(std::string(": 00040000 00020000 \"") + name + "\"\n"), std::string::npos) << name;
    EXPECT_EQ(read_bytes(root / "dev/mtd/mtd18"), std::string(0x40000, '\xFF'));
    EXPECT_TRUE(fs::is_directory(root / "system"));
    EXPECT_TRUE(fs::is_directory(root / "nvmfs"));
    EXPECT_TRUE(fs::is_directory(root / "sim/yaffs2/mtd18"));
}

TEST_F(InitDump, UsedFolderIsRefused)
{
    write_bytes(root / "keep.txt", "mine");
    devsim_result made = init();
    EXPECT_EQ(made.status, 1);
    EXPECT_NE(made.err.find("exists and is not an empty folder"), std::string::npos) << made.err;
    EXPECT_EQ(read_bytes(root / "keep.txt"), "mine");
    EXPECT_FALSE(fs::exists(root / "proc"));
}

TEST_F(InitDump, BadLayoutIsRefusedWithItsLine)
{
    write_bytes(folder / "src/device.layout", "kernel 0x8000 16K 2048\nuboot 0x5000 0x4000 2048\n");
    devsim_result made = init();
    EXPECT_EQ(made.status, 1);
    EXPECT_NE(made.err.find("line 2: SIZE must be a multiple of ERASESIZE"), std::string::npos) << made.err;
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(InitDump, ImageLargerThanItsPartitionIsRefused)
{
    write_bytes(folder / "src/kernel.img", kernel + "x");
    devsim_result made = init();
    EXPECT_EQ(made.status, 1);
    EXPECT_NE(made.err.find("is larger than partition kernel"), std::string::npos) << made.err;
}

TEST_F(InitDump, MissingImageIsRefused)
{
    fs::remove(folder / "src/uboot.img");
    devsim_result made = init();
    EXPECT_EQ(made.status, 1);
    EXPECT_NE(made.err.find("cannot read image"), std::string::npos) << made.err;
}

TEST_F(InitDump, DumpOfAnUnknownPartitionOrDeviceFails)
{
    ASSERT_EQ(init().status, 0);
    devsim_result unknown = run_devsim({"dump", root.string(), "fota", (folder / "x").string()});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no partition \"fota\""), std::string::npos) << unknown.err;
    devsim_result not_device = run_devsim({"dump", folder.path().string(), "kernel", (folder / "x").string()});
    EXPECT_EQ(not_device.status, 1);
    EXPECT_NE(not_device.err.find("is not a simulated device made by devsim init"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "x"));
}

} // namespace
