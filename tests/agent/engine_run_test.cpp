// One partition run through a test engine that drives the callbacks: the
// parameter block, the mount path rules, failure and release.
#include "agent_test_support.h"

#include "engine_callbacks.h"
#include "flash_ctx.h"
#include "os.h"
#include "part_tables.h"
#include "paths.h"
#include "update_parti.h"
#include "work_dirs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace agent_test;

namespace {

constexpr uint32_t kBlock = 0x20000;

// What the test engine saw and what it returns.
struct seen_run {
    uintptr_t params[KVR_ENGINE_PARAM_WORDS];
    uintptr_t descriptor[KVR_ENGINE_DESCRIPTOR_WORDS];
    std::string name;
    std::string mount_path;
    std::string tmp_file;
    std::string delta;
    bool link_present;
    uint32_t result;
} g_seen;

const sim_root* g_root = nullptr;

uint32_t test_engine(uintptr_t* params)
{
    std::memcpy(g_seen.params, params, sizeof g_seen.params);
    const uintptr_t* descriptor = reinterpret_cast<const uintptr_t*>(params[KVR_PARAM_DESCRIPTOR]);
    std::memcpy(g_seen.descriptor, descriptor, sizeof g_seen.descriptor);
    g_seen.name = reinterpret_cast<const char*>(descriptor[KVR_DESC_NAME]);
    const char* mount = reinterpret_cast<const char*>(descriptor[KVR_DESC_MOUNT_PATH]);
    g_seen.mount_path = mount ? mount : "";
    const char* tmp = reinterpret_cast<const char*>(params[KVR_PARAM_TMP_FILE]);
    g_seen.tmp_file = tmp ? tmp : "";
    g_seen.link_present = g_root->exists("/cache/kvr_fota/dua/mnt/system");
    flash_ctx* ctx = reinterpret_cast<flash_ctx*>(params[KVR_PARAM_USER_DATA]);
    std::string delta(ctx->member_length, '\0');
    if (DE_GetDelta(ctx, reinterpret_cast<unsigned char*>(delta.data()), 0, ctx->member_length) != 0) return 7;
    g_seen.delta = delta;
    if (params[KVR_PARAM_IMAGE] == 1 && params[KVR_PARAM_OP_MODE] == 0) {
        std::string block(kBlock, '\0');
        std::memcpy(block.data(), delta.data(), delta.size());
        if (DE_WriteBlock(ctx, kBlock, reinterpret_cast<const unsigned char*>(block.data())) != 0) return 8;
    }
    if (params[KVR_PARAM_IMAGE] == 0) {
        int32_t handle = 0;
        std::string path = g_seen.mount_path + "new/file";
        if (DE_OpenFile(ctx, path.c_str(), 1, &handle) != 0) return 9;
        DE_WriteFile(ctx, handle, 0, reinterpret_cast<const unsigned char*>(delta.data()), 4);
        DE_CloseFile(ctx, handle);
    }
    DE_Progress(ctx, 100);
    return g_seen.result;
}

int g_progress = -1;

class EngineRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        attach(root);
        ASSERT_EQ(create_work_dirs(), 0);
        g_root = &root;
        saved = kvr_engine_entry;
        kvr_engine_entry = test_engine;
        g_seen = {};
        g_progress = -1;
        root.write(kPackage, "ABCDdelta-bytesEFGH");
    }
    void TearDown() override
    {
        kvr_engine_entry = saved;
        detach();
    }
    int run(const char* name, int32_t type, int mode)
    {
        return kvr_dua_update_parti(name, kPackage, 4, 11, type, mode, [](int percent) { g_progress = percent; });
    }
    std::string fatal() { return root.read(KVR_FATAL_LOG_PATH); }

    static constexpr const char* kPackage = "/cache/update.pkg";
    sim_root root;
    kvr_engine_entry_fn saved = nullptr;
};

TEST_F(EngineRun, ImagePartitionParameters)
{
    ASSERT_EQ(run("kernel", KVR_PART_IMAGE, KVR_OP_APPLY), 0);
    EXPECT_EQ(g_seen.params[KVR_PARAM_OP_MODE], 0u);
    EXPECT_NE(g_seen.params[KVR_PARAM_HEAP], 0u);
    EXPECT_EQ(g_seen.params[KVR_PARAM_HEAP_SIZE], 0xA00000u);
    EXPECT_EQ(g_seen.params[KVR_PARAM_IMAGE], 1u);
    EXPECT_NE(g_seen.params[KVR_PARAM_WORK_WORD], 0u);
    for (int word : {5, 8, 10}) EXPECT_EQ(g_seen.params[word], 1u) << word;
    for (int word : {7, 11, 12, 13}) EXPECT_EQ(g_seen.params[word], 0u) << word;
    EXPECT_NE(g_seen.params[KVR_PARAM_ZERO_WORD], 0u);
    EXPECT_EQ(g_seen.name, "kernel");
    EXPECT_EQ(g_seen.descriptor[KVR_DESC_MOUNT_PATH], 0u);
    EXPECT_EQ(g_seen.descriptor[KVR_DESC_FILE_SYSTEM], 0u);
    EXPECT_EQ(g_seen.delta, "delta-bytes");
    EXPECT_EQ(g_progress, 100);
    std::string flash = root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number("kernel")));
    EXPECT_EQ(flash.substr(kBlock, 11), "delta-bytes");
    EXPECT_EQ(flash.substr(0, kBlock), std::string(kBlock, '\xFF'));
    EXPECT_EQ(g_kvr_flash_ctx, nullptr);
}

TEST_F(EngineRun, FileSystemPartitionIsMountedForTheRun)
{
    ASSERT_EQ(run("userdata", KVR_PART_FILE_SYSTEM, KVR_OP_APPLY), 0);
    EXPECT_EQ(g_seen.params[KVR_PARAM_IMAGE], 0u);
    EXPECT_EQ(g_seen.params[KVR_PARAM_WORK_WORD], 0u);
    EXPECT_EQ(g_seen.tmp_file, "/cache/kvr_fota/dua/tmp/tmp_file");
    EXPECT_EQ(g_seen.mount_path, "/cache/kvr_fota/dua/mnt/");
    EXPECT_EQ(g_seen.descriptor[KVR_DESC_FILE_SYSTEM], 1u);
    EXPECT_EQ(root.read("/sim/yaffs2/mtd" + std::to_string(root.mtd_number("userdata")) + "/new/file"), "delt");
    EXPECT_FALSE(root.exists("/cache/kvr_fota/dua/mnt/new"));
}

TEST_F(EngineRun, VerifyingSystemUsesTheRunningSystemAndLeavesNoLink)
{
    root.write("/system/bin/sh", "shell");
    ASSERT_EQ(run("system", KVR_PART_FILE_SYSTEM, KVR_OP_VERIFY), 0);
    EXPECT_EQ(g_seen.mount_path, "/cache/kvr_fota/dua/mnt/system/");
    EXPECT_TRUE(g_seen.link_present);
    EXPECT_FALSE(root.exists("/cache/kvr_fota/dua/mnt/system"));
    EXPECT_EQ(root.read("/system/bin/sh"), "shell");
    EXPECT_EQ(root.read("/system/new/file"), "delt");
}

TEST_F(EngineRun, EngineFailureReleasesEverything)
{
    g_seen.result = 0x80000021;
    EXPECT_EQ(run("userdata", KVR_PART_FILE_SYSTEM, KVR_OP_APPLY), -1);
    EXPECT_NE(fatal().find(">>> Error: Image update failed, ret = 80000021\n"), std::string::npos);
    EXPECT_EQ(root.read("/sim/yaffs2/mtd" + std::to_string(root.mtd_number("userdata")) + "/new/file"), "delt");
    struct stat st;
    ASSERT_EQ(lstat(root.real("/cache/kvr_fota/dua/mnt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(g_kvr_flash_ctx, nullptr);
}

TEST_F(EngineRun, UnknownPartitionFails)
{
    EXPECT_EQ(run("nothing", KVR_PART_IMAGE, KVR_OP_APPLY), -1);
    EXPECT_NE(fatal().find(">>> Error: partition not find\n"), std::string::npos);
    EXPECT_EQ(g_seen.name, "");
}

} // namespace
