// Flash partition access and the image callbacks on the simulated NAND with
// 2048-byte pages and 128 KiB blocks.
#include "agent_test_support.h"

#include "engine_callbacks.h"
#include "flash_ctx.h"
#include "mtd_lookup.h"
#include "os.h"
#include "paths.h"
#include "sim_fault.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace agent_test;

namespace {

constexpr uint32_t kBlock = 0x20000;
constexpr uint32_t kPage = 2048;
constexpr uint32_t kSize = 8 * kBlock;
const char kPackage[] = "/cache/update.pkg";

std::vector<partition> flash_partitions()
{
    return {{"boot", 0x40000, kBlock}, {"Kernel", kSize, kBlock}, {"misc", 0x40000, kBlock}};
}

std::string pattern(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 977) & 0xFF);
    return bytes;
}

class FlashAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        attach(root);
        sim_fault_reset();
        root.write(kPackage, "HEADER" + member + "TAIL");
        ASSERT_EQ(kvr_dua_delib_init(&ctx, "/dev/mtd/mtd1", kPackage, 6, static_cast<uint32_t>(member.size()), 0), 0);
    }
    void TearDown() override
    {
        kvr_dua_delib_release(&ctx);
        for (const char* name : {"KVR_SIM_FAIL_ERASE", "KVR_SIM_FAIL_WRITE"}) unsetenv(name);
        detach();
    }
    std::string flash() { return root.read("/dev/mtd/mtd1"); }
    std::string log()
    {
        std::fflush(g_kvr_log->fp);
        return root.read(KVR_LOG_PATH);
    }
    std::string fatal() { return root.read(KVR_FATAL_LOG_PATH); }

    sim_root root{flash_partitions()};
    std::string member = pattern(5000, 3);
    flash_ctx ctx;
};

TEST(MtdFind, CaseDiffersBetweenTheTwoLookups)
{
    sim_root root(flash_partitions());
    attach(root);
    char path[KVR_MTD_PATH_SIZE];
    EXPECT_EQ(kvr_dua_mtd_find("kernel", path, 0), 0);
    EXPECT_STREQ(path, "/dev/mtd/mtd1");
    EXPECT_EQ(kvr_dua_mtd_find("KERNEL", path, 1), 0);
    EXPECT_STREQ(path, "/dev/block/mtdblock1");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ml_get_mtd_block_num("kernel"), -1);
    EXPECT_EQ(ml_get_mtd_block_num("Kernel"), 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(kvr_dua_mtd_find("absent", path, 0), -1);
    detach();
}

TEST(MtdFind, LinesLongerThan49CharactersAreNotMatched)
{
    sim_root root(flash_partitions());
    attach(root);
    std::string long_name(40, 'x');
    root.write("/proc/mtd", "dev:    size   erasesize  name\nmtd12: 00040000 00020000 \"" + long_name +
                                "\"\nmtd13: 00040000 00020000 \"" + long_name.substr(0, 22) + "\"\n");
    char path[KVR_MTD_PATH_SIZE];
    EXPECT_EQ(kvr_dua_mtd_find(long_name.c_str(), path, 0), -1);
    EXPECT_EQ(kvr_dua_mtd_find(long_name.substr(0, 22).c_str(), path, 0), 0);
    EXPECT_STREQ(path, "/dev/mtd/mtd13");
    detach();
}

TEST(MtdFind, UnreadableTableFails)
{
    sim_root root(flash_partitions());
    attach(root);
    root.write(KVR_LOG_FLAG_PATH, "");
    std::filesystem::remove(root.real("/proc/mtd"));
    char path[KVR_MTD_PATH_SIZE];
    EXPECT_EQ(kvr_dua_mtd_find("boot", path, 0), -1);
    detach();
}

TEST_F(FlashAccess, ContextHoldsTheGeometryAndTheTraceLog)
{
    EXPECT_EQ(ctx.total_size, kSize);
    EXPECT_EQ(ctx.block_size, kBlock);
    EXPECT_EQ(ctx.page_size, kPage);
    EXPECT_EQ(ctx.pages_per_block, 64u);
    EXPECT_EQ(ctx.oob_size, 64u);
    EXPECT_EQ(g_kvr_flash_ctx, &ctx);
    EXPECT_EQ(DE_GetBlockSize(&ctx), kBlock);
    DE_Trace(&ctx, "value %d and %s\n", 42, "%s%n");
    EXPECT_NE(root.read(KVR_ENGINE_LOG_PATH).find(">>> value 42 and %s%n\n"), std::string::npos);
}

TEST_F(FlashAccess, InitFailsCleanlyOnAMissingDevice)
{
    flash_ctx other;
    EXPECT_EQ(kvr_dua_delib_init(&other, "/dev/mtd/mtd9", kPackage, 0, 0, 1), -1);
    EXPECT_EQ(other.fd, -1);
    EXPECT_EQ(other.package, nullptr);
    EXPECT_NE(fatal().find(">>> Error: open flash failed:"), std::string::npos);
    EXPECT_EQ(kvr_dua_delib_init(&other, "/dev/mtd/mtd1", "/cache/absent", 0, 0, 1), -1);
    EXPECT_NE(fatal().find(">>> Error: open file failed:"), std::string::npos);
}

TEST_F(FlashAccess, WholePartitionRoundTrip)
{
    std::string image = pattern(kSize, 9);
    for (uint32_t at = 0; at < kSize; at += kBlock)
        ASSERT_EQ(DE_WriteBlock(&ctx, at, reinterpret_cast<const unsigned char*>(image.data()) + at), 0u);
    EXPECT_EQ(flash(), image);
    std::string back(kSize, '\0');
    ASSERT_EQ(DE_ReadImage(&ctx, reinterpret_cast<unsigned char*>(back.data()), 0, kSize), 0u);
    EXPECT_EQ(back, image);
    std::string again = pattern(kSize, 10);
    for (uint32_t at = 0; at < kSize; at += kBlock)
        ASSERT_EQ(DE_WriteBlock(&ctx, at, reinterpret_cast<const unsigned char*>(again.data()) + at), 0u);
    ASSERT_EQ(kvr_dua_read_source(&ctx, reinterpret_cast<unsigned char*>(back.data()), 0, kSize), 0u);
    EXPECT_EQ(back, again);
}

TEST_F(FlashAccess, EraseFailingOnceIsRetriedAfterTheCacheDrop)
{
    setenv("KVR_SIM_FAIL_ERASE", "1", 1);
    std::string block = pattern(kBlock, 4);
    EXPECT_EQ(DE_WriteBlock(&ctx, kBlock, reinterpret_cast<const unsigned char*>(block.data())), 0u);
    EXPECT_EQ(flash().substr(kBlock, kBlock), block);
    EXPECT_EQ(count_of(fatal(), ">>> Error: erase block failed at 0x20000.error:Input/output error\n"), 1);
    EXPECT_EQ(count_of(fatal(), "second time"), 0);
}

TEST_F(FlashAccess, WriteFailingOnceIsRetried)
{
    setenv("KVR_SIM_FAIL_WRITE", "1", 1);
    std::string block = pattern(kBlock, 5);
    EXPECT_EQ(DE_WriteBlock(&ctx, 0, reinterpret_cast<const unsigned char*>(block.data())), 0u);
    EXPECT_EQ(flash().substr(0, kBlock), block);
    EXPECT_EQ(count_of(fatal(), ">>> Error: write block failed at 0x0.error:Input/output error\n"), 1);
}

TEST_F(FlashAccess, BadBlockFailsTheWriteAfterTwoTries)
{
    ASSERT_EQ(os_mtd_mark_bad(ctx.fd, 2 * kBlock), 0);
    std::string block = pattern(kBlock, 6);
    EXPECT_EQ(DE_WriteBlock(&ctx, 2 * kBlock, reinterpret_cast<const unsigned char*>(block.data())), 0x80000021u);
    EXPECT_EQ(count_of(fatal(), ">>> Error: erase block failed at 0x40000."), 1);
    EXPECT_EQ(count_of(fatal(), ">>> Error: erase block second time failed at 0x40000."), 1);
    EXPECT_EQ(flash().substr(2 * kBlock, kBlock), std::string(kBlock, '\xFF'));
    EXPECT_EQ(DE_WriteBlock(&ctx, 3 * kBlock, reinterpret_cast<const unsigned char*>(block.data())), 0u);
}

TEST_F(FlashAccess, TableAreaAddressesAreRefusedAtOnce)
{
    std::string block(kBlock, '\0');
    EXPECT_EQ(DE_WriteBlock(&ctx, 0x80000000, reinterpret_cast<const unsigned char*>(block.data())), 0x80000021u);
    EXPECT_EQ(count_of(fatal(), "Error: block address will be write is bad."), 1);
    EXPECT_EQ(DE_ReadImage(&ctx, reinterpret_cast<unsigned char*>(block.data()), 0x80000000, 4), 0x80000023u);
    EXPECT_EQ(flash(), std::string(kSize, '\xFF'));
}

TEST_F(FlashAccess, UnalignedReadCopiesTheRightSlices)
{
    std::string image = pattern(kBlock, 7);
    ASSERT_EQ(DE_WriteBlock(&ctx, 0, reinterpret_cast<const unsigned char*>(image.data())), 0u);
    std::string back(kPage, '\0');
    ASSERT_EQ(DE_ReadImage(&ctx, reinterpret_cast<unsigned char*>(back.data()), kPage / 2, kPage), 0u);
    EXPECT_EQ(back, image.substr(kPage / 2, kPage));
    EXPECT_EQ(count_of(log(), ">>> page num is "), 2);
    std::string tail(kPage + 10, '\0');
    ASSERT_EQ(DE_ReadImage(&ctx, reinterpret_cast<unsigned char*>(tail.data()), 3 * kPage, kPage + 10), 0u);
    EXPECT_EQ(tail, image.substr(3 * kPage, kPage + 10));
}

TEST_F(FlashAccess, ZeroSizeReadTouchesNothing)
{
    unsigned char untouched = 0x5A;
    EXPECT_EQ(DE_ReadImage(&ctx, &untouched, 100, 0), 0u);
    EXPECT_EQ(untouched, 0x5A);
    EXPECT_EQ(count_of(log(), ">>> page num is "), 0);
}

TEST_F(FlashAccess, ReadPastThePartitionFails)
{
    std::string back(kPage, '\0');
    EXPECT_EQ(DE_ReadImage(&ctx, reinterpret_cast<unsigned char*>(back.data()), kSize - 10, 20), 0x80000023u);
    EXPECT_NE(log().find(">>> read flash error:"), std::string::npos);
}

TEST_F(FlashAccess, DeltaBoundsAreCheckedBeforeReading)
{
    std::string buffer(member.size(), '\0');
    ASSERT_EQ(DE_GetDelta(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), 0, member.size()), 0u);
    EXPECT_EQ(buffer, member);
    uint32_t length = static_cast<uint32_t>(member.size());
    EXPECT_EQ(DE_GetDelta(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), length, 0), 0u);
    EXPECT_EQ(DE_GetDelta(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), length - 9, 10), 0x80000023u);
    EXPECT_EQ(DE_GetDelta(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), 10, 0xFFFFFFFF), 0x80000023u);
    EXPECT_EQ(DE_GetDelta(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), length + 1, 0), 0x80000023u);
    EXPECT_EQ(count_of(log(), ">>> address error\n"), 3);
    EXPECT_EQ(count_of(log(), ">>> end error\n"), 3);
}

TEST_F(FlashAccess, BackupBlockRoundTrip)
{
    std::string buffer(kBlock, '\0');
    EXPECT_EQ(DE_ReadBackupBlock(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), 0, kBlock), 0x80000023u);
    std::string block = pattern(kBlock, 8);
    ASSERT_EQ(DE_WriteBackupBlock(&ctx, 0x40000, reinterpret_cast<const unsigned char*>(block.data())), 0u);
    EXPECT_EQ(root.read(KVR_BACKUP_BLOCK_PATH), block);
    ASSERT_EQ(DE_ReadBackupBlock(&ctx, reinterpret_cast<unsigned char*>(buffer.data()), 0x40000, kBlock), 0u);
    EXPECT_EQ(buffer, block);
    root.write(KVR_BACKUP_BLOCK_PATH, "short");
    std::string more(16, '\0');
    ASSERT_EQ(DE_ReadBackupBlock(&ctx, reinterpret_cast<unsigned char*>(more.data()), 0, 16), 0u);
    EXPECT_EQ(more, "short" + std::string(11, '\xFF'));
}

int g_percent = -1;

TEST_F(FlashAccess, ProgressValueStoreAndTimer)
{
    ctx.progress = [](int percent) { g_percent = percent; };
    DE_Progress(&ctx, 42);
    EXPECT_EQ(g_percent, 42);
    EXPECT_NE(log().find(">>> start, pdata = 0x"), std::string::npos);
    uint32_t stored = 0;
    EXPECT_EQ(kvr_dua_store_value(&ctx, 0xDEADBEEF, &stored), 0u);
    EXPECT_EQ(stored, 0xDEADBEEFu);
    EXPECT_EQ(DE_ResetTimerA(&ctx), 0u);
}

TEST_F(FlashAccess, ReleaseClosesEverything)
{
    kvr_dua_delib_release(&ctx);
    EXPECT_EQ(ctx.fd, -1);
    EXPECT_EQ(ctx.package, nullptr);
    EXPECT_EQ(ctx.block_buffer, nullptr);
    EXPECT_EQ(ctx.engine_log, nullptr);
    EXPECT_EQ(g_kvr_flash_ctx, nullptr);
}

} // namespace
