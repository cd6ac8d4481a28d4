// The bad-block callbacks: flash pages and blocks, and the one-block table
// area kept in memory and in its file.
#include "agent_test_support.h"

#include "bbm_table.h"
#include "engine_callbacks.h"
#include "flash_ctx.h"
#include "os.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace agent_test;

namespace {

constexpr uint32_t kBlock = 0x20000;
constexpr uint32_t kPage = 2048;
constexpr uint32_t kFirstTablePage = 0x80000000u / kPage;

class BbmCallbacks : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        root.write("/cache/pkg", "");
        root.write("/cache/kvr_fota/dua/tmp/bbm/.keep", "");
        attach(root);
        device = "/dev/mtd/mtd" + std::to_string(root.mtd_number("kernel"));
        ASSERT_EQ(kvr_dua_delib_init(&ctx, device.c_str(), "/cache/pkg", 0, 0, 0), 0);
        ASSERT_EQ(kvr_bbm_table_load(&ctx, "kernel"), 0);
    }
    void TearDown() override
    {
        kvr_dua_delib_release(&ctx);
        detach();
    }
    std::string table_file() { return root.read(KVR_DUA_BBM_DIR "kernel.tbl"); }

    sim_root root;
    std::string device;
    flash_ctx ctx;
};

TEST_F(BbmCallbacks, TableStartsErasedAndTakesAStoredBlock)
{
    EXPECT_STREQ(ctx.table_file, "/cache/kvr_fota/dua/tmp/bbm/kernel.tbl");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ctx.table_buffer), kBlock), std::string(kBlock, '\xFF'));
    root.write(KVR_DUA_BBM_DIR "kernel.tbl", std::string(kBlock, 'T'));
    ASSERT_EQ(kvr_bbm_table_load(&ctx, "kernel"), 0);
    EXPECT_EQ(ctx.table_buffer[kBlock - 1], 'T');
    root.write(KVR_DUA_BBM_DIR "kernel.tbl", std::string(kBlock + 1, 'U'));
    ASSERT_EQ(kvr_bbm_table_load(&ctx, "kernel"), 0);
    EXPECT_EQ(ctx.table_buffer[0], 0xFF);
}

TEST_F(BbmCallbacks, TablePagesLiveInTheBufferAndTheFile)
{
    std::string page(kPage, 'P');
    ASSERT_EQ(DE_WritePage(kFirstTablePage + 1, reinterpret_cast<const unsigned char*>(page.data())), 0u);
    std::string stored = table_file();
    ASSERT_EQ(stored.size(), kBlock);
    EXPECT_EQ(stored.substr(kPage, kPage), page);
    EXPECT_EQ(stored.substr(0, kPage), std::string(kPage, '\xFF'));
    std::string back(kPage, '\0');
    ASSERT_EQ(DE_ReadPage(kFirstTablePage + 1, reinterpret_cast<unsigned char*>(back.data())), 0u);
    EXPECT_EQ(back, page);
    ASSERT_EQ(DE_EraseBlock(0x80000000u / kBlock), 0u);
    EXPECT_EQ(table_file(), std::string(kBlock, '\xFF'));
    EXPECT_EQ(root.read(device), std::string(0x40000, '\xFF'));
}

TEST_F(BbmCallbacks, PagesPastTheTableBlockAreRefused)
{
    std::string page(kPage, 'Q');
    EXPECT_EQ(DE_WritePage(kFirstTablePage + 64, reinterpret_cast<const unsigned char*>(page.data())), 0x80000021u);
    EXPECT_EQ(DE_ReadPage(0xFFFFFFFFu, reinterpret_cast<unsigned char*>(page.data())), 0x80000023u);
    EXPECT_EQ(page, std::string(kPage, 'Q'));
    EXPECT_FALSE(root.exists(KVR_DUA_BBM_DIR "kernel.tbl"));
}

TEST_F(BbmCallbacks, PageBelowTheTableAreaIsFlash)
{
    std::string page(kPage, '\x21');
    EXPECT_EQ(DE_WritePage(3, reinterpret_cast<const unsigned char*>(page.data())), 0u);
    EXPECT_EQ(root.read(device).substr(3 * kPage, kPage), page);
    std::string back(kPage, '\0');
    EXPECT_EQ(DE_ReadPage(3, reinterpret_cast<unsigned char*>(back.data())), 0u);
    EXPECT_EQ(back, page);
    EXPECT_EQ(DE_WritePage(3, reinterpret_cast<const unsigned char*>(std::string(kPage, '\x7F').data())), 0x80000021u);
    EXPECT_EQ(DE_EraseBlock(0), 0u);
    EXPECT_EQ(DE_WritePage(3, reinterpret_cast<const unsigned char*>(std::string(kPage, '\x7F').data())), 0u);
    EXPECT_EQ(DE_ReadPage(kFirstTablePage - 1, reinterpret_cast<unsigned char*>(back.data())), 0x80000023u);
}

TEST_F(BbmCallbacks, BadBlocksQueriedAndMarked)
{
    EXPECT_EQ(DE_IsFlashBadBlock(1), 0);
    DE_MarkAsBadBlock(kBlock + 100);
    EXPECT_EQ(DE_IsFlashBadBlock(1), -1);
    EXPECT_EQ(DE_IsFlashBadBlock(0), 0);
    EXPECT_EQ(DE_EraseBlock(1), 0x80000022u);
    DE_MarkAsBadBlock(0x80001000u);
    EXPECT_EQ(DE_IsFlashBadBlock(0), 0);
    EXPECT_EQ(DE_IsFlashBadBlock(0x80000000u / kBlock), 0);
    EXPECT_EQ(root.read("/sim/mtd" + std::to_string(root.mtd_number("kernel")) + ".bad"), "1\n");
    std::fflush(g_kvr_log->fp);
    EXPECT_EQ(count_of(root.read(KVR_LOG_PATH), ">>> find bad block\n"), 1);
}

TEST_F(BbmCallbacks, HeapCallbacks)
{
    void* pointer = DE_HeapAllocate(1000);
    ASSERT_NE(pointer, nullptr);
    std::memset(pointer, 1, 1000);
    DE_HeapFree(pointer);
}

} // namespace
