// The file-system callbacks under a folder of the simulated device.
#include "agent_test_support.h"

#include "engine_callbacks.h"
#include "flash_ctx.h"
#include "os.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace agent_test;

namespace {

class FsCallbacks : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        root.write("/cache/fs/.keep", "");
        attach(root);
    }
    void TearDown() override { detach(); }
    int32_t open_file(const std::string& path, uint32_t mode)
    {
        int32_t handle = -1;
        EXPECT_EQ(DE_OpenFile(&ctx, path.c_str(), mode, &handle), 0u);
        return handle;
    }
    std::string log()
    {
        std::fflush(g_kvr_log->fp);
        return root.read(KVR_LOG_PATH);
    }

    sim_root root;
    flash_ctx ctx{};
};

TEST_F(FsCallbacks, WriteBeyondTheEndFillsTheGapWithOnes)
{
    root.write("/cache/fs/file", std::string(50, 'a'));
    int32_t handle = open_file("/cache/fs/file", 2);
    ASSERT_EQ(DE_WriteFile(&ctx, handle, 100, reinterpret_cast<const unsigned char*>("0123456789"), 10), 0u);
    EXPECT_EQ(DE_GetFileSize(&ctx, handle), 110u);
    EXPECT_EQ(DE_CloseFile(&ctx, handle), 0u);
    EXPECT_EQ(root.read("/cache/fs/file"), std::string(50, 'a') + std::string(50, '\xFF') + "0123456789");
}

TEST_F(FsCallbacks, LargeGapIsFilledInPieces)
{
    int32_t handle = open_file("/cache/fs/big", 1);
    ASSERT_EQ(DE_WriteFile(&ctx, handle, 3 * 1024 * 1024, reinterpret_cast<const unsigned char*>("z"), 1), 0u);
    DE_CloseFile(&ctx, handle);
    std::string content = root.read("/cache/fs/big");
    ASSERT_EQ(content.size(), 3u * 1024 * 1024 + 1);
    EXPECT_EQ(content.find_first_not_of('\xFF'), 3u * 1024 * 1024);
}

TEST_F(FsCallbacks, ReadToTheEndOfTheFileSucceeds)
{
    root.write("/cache/fs/file", std::string(120, 'r'));
    int32_t handle = open_file("/cache/fs/file", 0);
    unsigned char buffer[100];
    EXPECT_EQ(DE_ReadFile(&ctx, handle, 90, buffer, 100), 0u);
    EXPECT_EQ(DE_ReadFile(&ctx, handle, 200, buffer, 10), 0x80000023u);
    DE_CloseFile(&ctx, handle);
    EXPECT_EQ(DE_CloseFile(&ctx, handle), 0x800000D3u);
}

TEST_F(FsCallbacks, OpenForWritingCreatesMissingFolders)
{
    int32_t handle = open_file("/cache/fs/a/b/c/file", 1);
    EXPECT_GT(handle, 0);
    DE_CloseFile(&ctx, handle);
    EXPECT_TRUE(root.exists("/cache/fs/a/b/c/file"));
    int32_t missing = -1;
    EXPECT_EQ(DE_OpenFile(&ctx, "/cache/fs/x/y", 0, &missing), 0x800000CDu);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(RecursiveFolderCreater("no-slash", 0777), -1);
    EXPECT_EQ(RecursiveFolderCreater("", 0777), -1);
}

TEST_F(FsCallbacks, FolderCallbacksTolerateWhatIsAlreadyDone)
{
    EXPECT_EQ(DE_CreateFolder(&ctx, "/cache/fs/d1/d2"), 0u);
    EXPECT_EQ(DE_CreateFolder(&ctx, "/cache/fs/d1/d2"), 0u);
    root.write("/cache/fs/d1/d2/f", "x");
    EXPECT_EQ(DE_DeleteFolder(&ctx, "/cache/fs/d1/d2"), 0u);
    EXPECT_TRUE(root.exists("/cache/fs/d1/d2/f"));
    EXPECT_EQ(DE_DeleteFolder(&ctx, "/cache/fs/absent"), 0u);
    EXPECT_EQ(DE_DeleteFolder(&ctx, "/cache/fs/d1/d2/f"), 0x80000000u);
    EXPECT_EQ(DE_DeleteFile(&ctx, "/cache/fs/d1/d2/f"), 0u);
    EXPECT_EQ(DE_DeleteFile(&ctx, "/cache/fs/d1/d2/f"), 0u);
    EXPECT_EQ(DE_Unlink(&ctx, "/cache/fs/absent"), 0u);
    EXPECT_EQ(DE_Unlink(&ctx, "/cache/fs/d1"), 0x80000000u);
}

TEST_F(FsCallbacks, MoveKeepsAnExistingTarget)
{
    root.write("/cache/fs/old", "old");
    root.write("/cache/fs/new", "new");
    EXPECT_EQ(DE_MoveFile(&ctx, "/cache/fs/old", "/cache/fs/new"), 0u);
    EXPECT_EQ(root.read("/cache/fs/new"), "new");
    EXPECT_TRUE(root.exists("/cache/fs/old"));
    EXPECT_EQ(DE_MoveFile(&ctx, "/cache/fs/old", "/cache/fs/moved"), 0u);
    EXPECT_EQ(root.read("/cache/fs/moved"), "old");
    EXPECT_EQ(DE_MoveFile(&ctx, "/cache/fs/gone", "/cache/fs/other"), 0xFFFFFFFEu);
    EXPECT_EQ(DE_MoveFile(&ctx, nullptr, "/cache/fs/other"), 0xFFFFFFFFu);
}

TEST_F(FsCallbacks, CopyCreatesTheTargetFolder)
{
    std::string content(5000, 'c');
    root.write("/cache/fs/src", content);
    EXPECT_EQ(DE_CopyFile(&ctx, "/cache/fs/src", "/cache/fs/p/q/dst"), 0u);
    EXPECT_EQ(root.read("/cache/fs/p/q/dst"), content);
    EXPECT_EQ(DE_CopyFile(&ctx, "/cache/fs/none", "/cache/fs/dst"), 0x800000CDu);
    root.write("/cache/fs/plain", "");
    EXPECT_EQ(DE_CopyFile(&ctx, "/cache/fs/src", "/cache/fs/plain/dst"), 0x800000CEu);
}

TEST_F(FsCallbacks, LinkVerifyComparesTheWholeText)
{
    EXPECT_EQ(DE_Link(&ctx, "/cache/fs/lnk", "/system/bin/toolbox"), 0u);
    EXPECT_EQ(DE_VerifyLinkReference(&ctx, "/cache/fs/lnk", "/system/bin/toolbox"), 0u);
    EXPECT_EQ(DE_VerifyLinkReference(&ctx, "/cache/fs/lnk", "/system/bin/toolbox2"), 0x80000000u);
    EXPECT_EQ(DE_VerifyLinkReference(&ctx, "/cache/fs/lnk", "/system/bin/tool"), 0x80000000u);
    EXPECT_EQ(DE_Link(&ctx, "/cache/fs/lnk", "/system/bin/toolbox"), 0u);
    EXPECT_EQ(DE_Link(&ctx, "/cache/fs/lnk", "/system/bin/other"), 0x800000D4u);
    EXPECT_EQ(DE_VerifyLinkReference(&ctx, "/cache/fs/absent", "/x"), 0x80000000u);
}

TEST_F(FsCallbacks, AttributesSetModeAndOwner)
{
    root.write("/cache/fs/file", "x");
    const char attributes[] = "_engine_100644:   0: 7d0";
    ASSERT_EQ(DE_SetFileAttributes(&ctx, "/cache/fs/file", sizeof attributes - 1, attributes), 0u);
    struct stat st;
    ASSERT_EQ(os_lstat("/cache/fs/file", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 2000u);
    EXPECT_NE(log().find(">>> setFileMode = 100644\n"), std::string::npos);
    EXPECT_EQ(DE_SetFileAttributes(&ctx, nullptr, 1, attributes), 0x80000002u);
    EXPECT_EQ(DE_SetFileAttributes(&ctx, "/cache/fs/file", 1, nullptr), 0x80000002u);
    EXPECT_EQ(DE_SetFileAttributes(&ctx, "/cache/fs/absent", 1, attributes), 0x80000000u);
    EXPECT_EQ(DE_SetFileAttributes(&ctx, "/cache/fs/file", 0, "junk"), 0u);
    EXPECT_EQ(DE_SetFileAttributes(&ctx, "/cache/fs/file", 4, "junk"), 0x80000000u);
}

TEST_F(FsCallbacks, ResizeSyncAndFreeSpace)
{
    int32_t handle = open_file("/cache/fs/r", 2);
    EXPECT_EQ(DE_ResizeFile(&ctx, handle, 300), 0u);
    EXPECT_EQ(DE_GetFileSize(&ctx, handle), 300u);
    EXPECT_EQ(DE_SyncFile(&ctx, handle), 0u);
    DE_CloseFile(&ctx, handle);
    EXPECT_EQ(DE_ResizeFile(&ctx, handle, 1), 0x800000D1u);
    uint32_t bytes = 0;
    EXPECT_EQ(DE_GetAvailableFreeSpace(&ctx, "/cache/fs", &bytes), 0u);
    EXPECT_GT(bytes, 0u);
    EXPECT_EQ(DE_GetAvailableFreeSpace(&ctx, "/cache/absent", &bytes), 0xFFFFFFFFu);
    EXPECT_EQ(bytes, 0u);
}

} // namespace
