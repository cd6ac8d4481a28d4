// The simulated device: its root, its flash rules and its shell.
#include "agent_test_support.h"

#include "os.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace agent_test;

namespace {

class SimOs : public ::testing::Test {
protected:
    void SetUp() override { attach(root); }
    void TearDown() override { detach(); }

    int open_mtd(const std::string& name)
    {
        return os_open(("/dev/mtd/mtd" + std::to_string(root.mtd_number(name))).c_str(), O_RDWR, 0);
    }

    sim_root root;
};

TEST(SimOsRoot, RefusesToRunWithoutRoot)
{
    unsetenv("KVR_FOTA_ROOT");
    EXPECT_EQ(os_init(), -1);
    EXPECT_EQ(os_fopen("/cache/x", "w"), nullptr);
    EXPECT_EQ(os_access("/", F_OK), -1);
    setenv("KVR_FOTA_ROOT", "/", 1);
    EXPECT_EQ(os_init(), -1);
    unsetenv("KVR_FOTA_ROOT");
}

TEST_F(SimOs, MapsFixedPathsIntoRoot)
{
    FILE* file = os_fopen("/cache/hello", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("hi", file);
    std::fclose(file);
    EXPECT_EQ(root.read("/cache/hello"), "hi");
    EXPECT_EQ(os_mkdir("/cache/folder", 0700), 0);
    EXPECT_EQ(root.mode("/cache/folder"), 0700);
    EXPECT_EQ(os_rename("/cache/hello", "/cache/folder/hello"), 0);
    EXPECT_EQ(os_access("/cache/folder/hello", R_OK), 0);
    EXPECT_EQ(os_unlink("/cache/folder/hello"), 0);
    EXPECT_FALSE(root.exists("/cache/folder/hello"));
}

TEST_F(SimOs, RefusesPathsClimbingOutOfRoot)
{
    errno = 0;
    EXPECT_EQ(os_fopen("/cache/../../escape", "w"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(os_mkdir("..", 0700), -1);
    EXPECT_EQ(os_shell("touch /../escape"), 1 << 8);
    EXPECT_EQ(os_shell("ln -s ../../.. /cache/out"), 1 << 8);
    EXPECT_FALSE(root.exists("/cache/out"));
}

TEST_F(SimOs, FlashEraseSetsOnesAndProgramOnlyClearsBits)
{
    int fd = open_mtd("fota");
    ASSERT_GE(fd, 0);
    mtd_info_user info;
    ASSERT_EQ(os_mtd_info(fd, &info), 0);
    EXPECT_EQ(info.size, 0x40000u);
    EXPECT_EQ(info.erasesize, 0x20000u);
    EXPECT_EQ(info.writesize, 2048u);
    EXPECT_EQ(info.oobsize, 64u);
    std::string page(2048, '\x0F');
    ASSERT_EQ(os_mtd_write(fd, page.data(), page.size(), 0), 2048);
    std::string fewer_bits(2048, '\x0C');
    ASSERT_EQ(os_mtd_write(fd, fewer_bits.data(), fewer_bits.size(), 0), 2048);
    std::string needs_set_bits(2048, '\x3C');
    errno = 0;
    EXPECT_EQ(os_mtd_write(fd, needs_set_bits.data(), needs_set_bits.size(), 0), -1);
    EXPECT_EQ(errno, EIO);
    std::string flash = root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number("fota")));
    ASSERT_EQ(flash.size(), 0x40000u);
    EXPECT_EQ(flash.substr(0, 2048), std::string(2048, '\x0C'));
    EXPECT_EQ(flash[2048], '\xFF');
    ASSERT_EQ(os_mtd_erase(fd, 0, 0x20000), 0);
    flash = root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number("fota")));
    EXPECT_EQ(flash.substr(0, 2048), std::string(2048, '\xFF'));
    os_close(fd);
}

TEST_F(SimOs, FlashRefusesUnalignedOrOutOfRangeCalls)
{
    int fd = open_mtd("misc");
    ASSERT_GE(fd, 0);
    std::string page(2048, '\0');
    errno = 0;
    EXPECT_EQ(os_mtd_write(fd, page.data(), 100, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(os_mtd_write(fd, page.data(), page.size(), 1), -1);
    EXPECT_EQ(os_mtd_write(fd, page.data(), page.size(), 0x40000), -1);
    EXPECT_EQ(os_mtd_erase(fd, 0x1000, 0x20000), -1);
    EXPECT_EQ(os_mtd_erase(fd, 0x20000, 0x40000), -1);
    os_close(fd);
    EXPECT_EQ(os_open("/dev/mtd/mtd99", O_RDWR, 0), -1);
}

TEST_F(SimOs, ShellEraseAndCopyThroughBlockDevice)
{
    int misc = root.mtd_number("misc");
    std::string device = "/dev/mtd/mtd" + std::to_string(misc);
    root.write(device, std::string(0x40000, '\0'));
    EXPECT_EQ(os_shell(("busybox flash_eraseall " + device).c_str()), 0);
    EXPECT_EQ(root.read(device), std::string(0x40000, '\xFF'));
    root.write("/cache/record", "RECORD");
    std::string dd = "busybox dd if=/cache/record of=/dev/block/mtdblock" + std::to_string(misc) +
                     " bs=1024 count=1 seek=0";
    EXPECT_EQ(os_shell(dd.c_str()), 0);
    std::string flash = root.read(device);
    EXPECT_EQ(flash.size(), 0x40000u);
    EXPECT_EQ(flash.substr(0, 6), "RECORD");
    EXPECT_EQ(flash.substr(6), std::string(0x40000 - 6, '\xFF'));
    EXPECT_NE(os_shell("busybox flash_eraseall /dev/mtd/mtd99"), 0);
}

TEST_F(SimOs, ShellFileCommands)
{
    EXPECT_EQ(os_shell("touch /cache/up_result_for_del.flg"), 0);
    EXPECT_TRUE(root.exists("/cache/up_result_for_del.flg"));
    EXPECT_EQ(os_shell("ln -s /cache/up_result_for_del.flg /cache/link"), 0);
    EXPECT_EQ(root.read("/cache/link"), "");
    root.write("/cache/tree/a/b", "x");
    EXPECT_NE(os_shell("rm /cache/tree"), 0);
    EXPECT_EQ(os_shell("rm -rf /cache/tree /cache/absent"), 0);
    EXPECT_FALSE(root.exists("/cache/tree"));
    EXPECT_NE(os_shell("rm /cache/absent"), 0);
    EXPECT_EQ(os_shell("sync"), 0);
    EXPECT_EQ(os_shell("echo 3 > /proc/sys/vm/drop_caches"), 0);
    EXPECT_EQ(os_shell("killall -9 kvr_voice"), 1 << 8);
}

TEST_F(SimOs, UnknownCommandsNeverReachTheShell)
{
    EXPECT_EQ(os_shell("reboot"), 127 << 8);
    EXPECT_EQ(os_shell("touch /cache/a; touch /cache/b"), 127 << 8);
    EXPECT_EQ(os_shell("touch $HOME/x"), 127 << 8);
    EXPECT_EQ(os_shell("busybox dd if=/cache/a of=/cache/b | sh"), 127 << 8);
    EXPECT_FALSE(root.exists("/cache/a"));
    EXPECT_FALSE(root.exists("/cache/b"));
    EXPECT_EQ(os_shell("cat /etc/passwd"), 127 << 8);
}

TEST_F(SimOs, ScriptsRunInTheRoot)
{
    root.write("/cache/script.sh", "echo \"$KVR_FOTA_ROOT\" > ran.txt\npwd >> ran.txt\nexit 3\n");
    int status = os_shell("sh /cache/script.sh");
    EXPECT_EQ(status, 3 << 8);
    EXPECT_EQ(root.read("/ran.txt"), root.path() + "\n" + root.path() + "\n");
}

TEST_F(SimOs, FailingRestartRequestReturns)
{
    setenv("KVR_SIM_REBOOT_FAIL", "1", 1);
    errno = 0;
    EXPECT_EQ(os_reboot(), -1);
    EXPECT_EQ(errno, EPERM);
    unsetenv("KVR_SIM_REBOOT_FAIL");
    EXPECT_FALSE(root.exists("/sim/restarts"));
}

} // namespace
