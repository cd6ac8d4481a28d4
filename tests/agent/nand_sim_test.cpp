// The simulated NAND flash: bad blocks, injected faults, power cuts, and the
// yaffs2 mounts, links and owners of the simulated device.
#include "agent_test_support.h"

#include "os.h"
#include "sim_fault.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace agent_test;

namespace {

constexpr uint32_t kBlock = 0x20000;
constexpr uint32_t kPage = 2048;

class NandSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        attach(root);
        sim_fault_reset();
        fd = os_open(device().c_str(), O_RDWR, 0);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        os_close(fd);
        for (const char* name : {"KVR_SIM_FAIL_ERASE", "KVR_SIM_FAIL_WRITE", "KVR_SIM_POWER_CUT"}) unsetenv(name);
        detach();
    }
    std::string device() { return "/dev/mtd/mtd" + std::to_string(root.mtd_number("fota")); }
    std::string flash() { return root.read(device()); }

    // Runs the call in a child process; its exit status, 99 when the call
    // returned.
    template <typename Call> int in_child(Call call)
    {
        pid_t child = fork();
        if (child == 0) {
            call();
            _exit(99);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    sim_root root;
    int fd = -1;
};

TEST_F(NandSim, PageSizeAndSpareComeFromTheDeviceSettings)
{
    root.write("/sys/class/mtd/mtd" + std::to_string(root.mtd_number("misc")) + "/writesize", "4096\n");
    root.write("/sys/class/mtd/mtd" + std::to_string(root.mtd_number("misc")) + "/oobsize", "224\n");
    int misc = os_open(("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc"))).c_str(), O_RDWR, 0);
    ASSERT_GE(misc, 0);
    mtd_info_user info;
    ASSERT_EQ(os_mtd_info(misc, &info), 0);
    EXPECT_EQ(info.writesize, 4096u);
    EXPECT_EQ(info.oobsize, 224u);
    std::string page(2048, '\0');
    EXPECT_EQ(os_mtd_write(misc, page.data(), page.size(), 0), -1);
    EXPECT_EQ(os_mtd_write(misc, std::string(4096, '\0').data(), 4096, 4096), 4096);
    os_close(misc);
}

TEST_F(NandSim, BitsClearOnlyUntilTheNextErase)
{
    std::string zeros(kPage, '\0');
    ASSERT_EQ(os_mtd_write(fd, zeros.data(), kPage, kPage), static_cast<ssize_t>(kPage));
    std::string ones(kPage, '\xFF');
    ones[0] = '\x01';
    errno = 0;
    EXPECT_EQ(os_mtd_write(fd, ones.data(), kPage, kPage), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(flash().substr(kPage, kPage), zeros);
    ASSERT_EQ(os_mtd_erase(fd, 0, kBlock), 0);
    EXPECT_EQ(flash().substr(0, kBlock), std::string(kBlock, '\xFF'));
    EXPECT_EQ(os_mtd_write(fd, ones.data(), kPage, kPage), static_cast<ssize_t>(kPage));
}

TEST_F(NandSim, BadBlocksRefuseEraseAndWritesAcrossThem)
{
    EXPECT_EQ(os_mtd_is_bad(fd, kBlock), 0);
    ASSERT_EQ(os_mtd_mark_bad(fd, kBlock + 5 * kPage), 0);
    EXPECT_EQ(os_mtd_is_bad(fd, kBlock), 1);
    EXPECT_EQ(os_mtd_is_bad(fd, 0), 0);
    EXPECT_EQ(root.read("/sim/mtd" + std::to_string(root.mtd_number("fota")) + ".bad"), "1\n");
    errno = 0;
    EXPECT_EQ(os_mtd_erase(fd, kBlock, kBlock), -1);
    EXPECT_EQ(errno, EIO);
    std::string two_blocks(2 * kBlock, '\x5A');
    EXPECT_EQ(os_mtd_write(fd, two_blocks.data(), two_blocks.size(), 0), -1);
    EXPECT_EQ(flash(), std::string(2 * kBlock, '\xFF'));
    EXPECT_EQ(os_mtd_write(fd, two_blocks.data(), kBlock, 0), static_cast<ssize_t>(kBlock));
    EXPECT_EQ(os_mtd_is_bad(fd, 2 * kBlock), -1);
}

TEST_F(NandSim, BadBlockListGivenWithTheDevice)
{
    root.write("/sim/mtd" + std::to_string(root.mtd_number("fota")) + ".bad", "0\n");
    EXPECT_EQ(os_mtd_is_bad(fd, 100), 1);
    EXPECT_EQ(os_mtd_is_bad(fd, kBlock), 0);
}

TEST_F(NandSim, NthEraseFailsOnce)
{
    setenv("KVR_SIM_FAIL_ERASE", "2", 1);
    std::string page(kPage, '\0');
    ASSERT_EQ(os_mtd_write(fd, page.data(), kPage, 0), static_cast<ssize_t>(kPage));
    EXPECT_EQ(os_mtd_erase(fd, kBlock, kBlock), 0);
    errno = 0;
    EXPECT_EQ(os_mtd_erase(fd, 0, kBlock), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(flash().substr(0, kPage), page);
    EXPECT_EQ(os_mtd_erase(fd, 0, kBlock), 0);
    EXPECT_EQ(flash().substr(0, kPage), std::string(kPage, '\xFF'));
}

TEST_F(NandSim, NthWriteFailsOnce)
{
    setenv("KVR_SIM_FAIL_WRITE", "1", 1);
    std::string page(kPage, '\x11');
    errno = 0;
    EXPECT_EQ(os_mtd_write(fd, page.data(), kPage, 0), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(flash().substr(0, kPage), std::string(kPage, '\xFF'));
    EXPECT_EQ(os_mtd_write(fd, page.data(), kPage, 0), static_cast<ssize_t>(kPage));
    EXPECT_EQ(flash().substr(0, kPage), page);
}

TEST_F(NandSim, PowerCutDuringWriteTearsTheBlockAndEndsTheProcess)
{
    setenv("KVR_SIM_POWER_CUT", "2", 1);
    std::string block(kBlock, '\0');
    int status = in_child([&] {
        os_mtd_erase(fd, 0, kBlock);
        os_mtd_write(fd, block.data(), kBlock, 0);
    });
    EXPECT_EQ(status, 0);
    std::string content = flash();
    EXPECT_EQ(content.substr(0, kBlock / 2), std::string(kBlock / 2, '\0'));
    EXPECT_EQ(content.substr(kBlock / 2, kBlock / 2), std::string(kBlock / 2, '\xFF'));
    EXPECT_EQ(root.read("/sim/power_cuts"), "1\n");
}

TEST_F(NandSim, PowerCutDuringEraseLeavesItHalfDone)
{
    std::string block(kBlock, '\0');
    ASSERT_EQ(os_mtd_write(fd, block.data(), kBlock, 0), static_cast<ssize_t>(kBlock));
    sim_fault_reset();
    setenv("KVR_SIM_POWER_CUT", "1", 1);
    int status = in_child([&] { os_mtd_erase(fd, 0, kBlock); });
    EXPECT_EQ(status, 0);
    std::string content = flash();
    EXPECT_EQ(content.substr(0, kBlock / 2), std::string(kBlock / 2, '\xFF'));
    EXPECT_EQ(content.substr(kBlock / 2, kBlock / 2), std::string(kBlock / 2, '\0'));
}

TEST_F(NandSim, Yaffs2MountIsTheFolderOfThePartition)
{
    std::string block_device = "/dev/block/mtdblock" + std::to_string(root.mtd_number("userdata"));
    root.write("/cache/kvr_fota/dua/mnt/.keep", "");
    errno = 0;
    EXPECT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt/", "yaffs2", 0), -1);
    EXPECT_EQ(errno, EBUSY);
    ASSERT_EQ(os_unlink("/cache/kvr_fota/dua/mnt/.keep"), 0);
    EXPECT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt/", "ext4", 0), -1);
    EXPECT_EQ(os_mount("/dev/mtd/mtd1", "/cache/kvr_fota/dua/mnt/", "yaffs2", 0), -1);
    ASSERT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt/", "yaffs2", 0), 0);
    EXPECT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt/", "yaffs2", 0), -1);
    FILE* file = os_fopen("/cache/kvr_fota/dua/mnt/etc.conf", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("kept", file);
    std::fclose(file);
    ASSERT_EQ(os_umount("/cache/kvr_fota/dua/mnt/"), 0);
    EXPECT_FALSE(root.exists("/cache/kvr_fota/dua/mnt/etc.conf"));
    EXPECT_EQ(root.read("/sim/yaffs2/mtd" + std::to_string(root.mtd_number("userdata")) + "/etc.conf"), "kept");
    EXPECT_EQ(os_umount("/cache/kvr_fota/dua/mnt/"), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(NandSim, AStartOfTheDeviceFindsNoMountOfAnEarlierStart)
{
    std::string block_device = "/dev/block/mtdblock" + std::to_string(root.mtd_number("userdata"));
    root.write("/cache/kvr_fota/dua/mnt/.keep", "");
    ASSERT_EQ(os_unlink("/cache/kvr_fota/dua/mnt/.keep"), 0);
    ASSERT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt/", "yaffs2", 0), 0);
    FILE* file = os_fopen("/cache/kvr_fota/dua/mnt/left", "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ASSERT_EQ(os_init(), 0);
    EXPECT_TRUE(root.exists("/cache/kvr_fota/dua/mnt/left")) << "a start of the program alone is no restart";
    setenv("KVR_SIM_BOOT", "1", 1);
    ASSERT_EQ(os_init(), 0);
    unsetenv("KVR_SIM_BOOT");
    EXPECT_FALSE(root.exists("/cache/kvr_fota/dua/mnt/left"));
    EXPECT_TRUE(root.exists("/sim/yaffs2/mtd" + std::to_string(root.mtd_number("userdata")) + "/left"));
    ASSERT_EQ(os_mount(block_device.c_str(), "/cache/kvr_fota/dua/mnt", "yaffs2", 0), 0);
    EXPECT_TRUE(root.exists("/cache/kvr_fota/dua/mnt/left"));
    ASSERT_EQ(os_umount("/cache/kvr_fota/dua/mnt/"), 0);
}

TEST_F(NandSim, LinksReadBackAsDevicePathsAndNeverLeaveTheRoot)
{
    ASSERT_EQ(os_symlink("/system/bin/sh", "/cache/sh"), 0);
    char text[64] = {};
    ASSERT_EQ(os_readlink("/cache/sh", text, sizeof text), 14);
    EXPECT_EQ(std::string(text), "/system/bin/sh");
    EXPECT_EQ(os_symlink("lib/x", "/cache/relative"), 0);
    errno = 0;
    EXPECT_EQ(os_symlink("../../etc", "/cache/out"), -1);
    EXPECT_EQ(errno, EACCES);
}

TEST_F(NandSim, OwnerChangesAreRecorded)
{
    root.write("/cache/owned", "x");
    ASSERT_EQ(os_chown("/cache/owned", 0, 2000), 0);
    struct stat st;
    ASSERT_EQ(os_lstat("/cache/owned", &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 2000u);
    EXPECT_EQ(os_chown("/cache/absent", 0, 0), -1);
}

} // namespace
