// The stage, current-part, status and package-path files.
#include "agent_test_support.h"

#include "log.h"
#include "part_tables.h"
#include "paths.h"
#include "registration.h"
#include "stage_store.h"
#include "status_store.h"
#include "work_dirs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace agent_test;

namespace {

class StatusStore : public ::testing::Test {
protected:
    void SetUp() override { attach(root); }
    void TearDown() override { detach(); }
    std::string fatal_log() { return root.read(KVR_FATAL_LOG_PATH); }

    // No temporary file of a state write is left behind.
    void expect_no_leftovers(const std::string& folder)
    {
        for (const auto& entry : std::filesystem::directory_iterator(root.real(folder)))
            EXPECT_NE(entry.path().extension(), ".new") << entry.path();
    }

    sim_root root;
};

TEST_F(StatusStore, WorkFoldersAreCreatedPrivate)
{
    std::filesystem::remove_all(root.real("/cache/kvr_fota"));
    EXPECT_EQ(create_work_dirs(), 0);
    for (const char* dir : {KVR_FOTA_DIR, KVR_DUA_DIR, KVR_DUA_TMP_DIR, KVR_DUA_MNT_DIR, KVR_DUA_BBM_DIR})
        EXPECT_EQ(root.mode(dir), 0700) << dir;
}

TEST_F(StatusStore, WorkFolderFailureNamesTheFolder)
{
    std::filesystem::remove_all(root.real("/cache"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(create_work_dirs(), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "mkdir /cache/kvr_fota/ error\n");
}

TEST_F(StatusStore, StageFileHoldsTheIdOnly)
{
    EXPECT_EQ(set_current_stage("9"), 0);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "9");
    EXPECT_EQ(get_current_stage(), 9);
    EXPECT_EQ(set_current_stage("2"), 0);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
    EXPECT_EQ(get_current_stage(), 2);
    expect_no_leftovers(KVR_FOTA_DIR);
    EXPECT_EQ(set_current_stage(nullptr), -1);
    root.write(KVR_STAGE_PATH, "123");
    EXPECT_EQ(get_current_stage(), 12);
    std::filesystem::remove(root.real(KVR_STAGE_PATH));
    EXPECT_EQ(get_current_stage(), -1);
}

TEST_F(StatusStore, InterruptedStateWriteLeavesTheOldContent)
{
    EXPECT_EQ(set_current_stage("2"), 0);
    EXPECT_EQ(kvr_dua_set_update_status(9), 0);
    std::filesystem::create_directory(root.real(std::string(KVR_STAGE_PATH) + ".new"));
    std::filesystem::create_directory(root.real(std::string(KVR_UPDATE_STATUS_PATH) + ".new"));
    EXPECT_EQ(set_current_stage("3"), -1);
    EXPECT_EQ(kvr_dua_set_update_status(0), -1);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "9");
    std::filesystem::remove(root.real(std::string(KVR_STAGE_PATH) + ".new"));
    root.write(std::string(KVR_STAGE_PATH) + ".new", "torn");
    EXPECT_EQ(get_current_stage(), 2);
    EXPECT_EQ(set_current_stage("3"), 0);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "3");
    EXPECT_FALSE(root.exists(std::string(KVR_STAGE_PATH) + ".new"));
}

TEST_F(StatusStore, StageWriteFailureIsReported)
{
    std::filesystem::remove_all(root.real("/cache/kvr_fota"));
    EXPECT_EQ(set_current_stage("9"), -1);
}

TEST_F(StatusStore, CurrentPartRoundTrip)
{
    int position = -1;
    EXPECT_EQ(kvr_dua_get_current_part(system_part_table, &position), 0);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(kvr_dua_set_current_part(system_part_table, 8), 0);
    EXPECT_EQ(root.read(KVR_CURRENT_PART_PATH), "kernel");
    EXPECT_EQ(kvr_dua_get_current_part(system_part_table, &position), 0);
    EXPECT_EQ(position, 8);
    EXPECT_EQ(kvr_dua_get_current_part(recovery_part_table, &position), -1);
    EXPECT_EQ(position, 0);
    EXPECT_NE(fatal_log().find(">>> Error: part name is not match part in current_update file.\n"), std::string::npos);
    expect_no_leftovers(KVR_FOTA_DIR);
}

TEST_F(StatusStore, CurrentPartComparisonIsExact)
{
    root.write(KVR_CURRENT_PART_PATH, "kernel\n");
    int position = -1;
    EXPECT_EQ(kvr_dua_get_current_part(system_part_table, &position), -1);
    EXPECT_EQ(position, 0);
    root.write(KVR_CURRENT_PART_PATH, "NVMFS");
    EXPECT_EQ(kvr_dua_get_current_part(system_part_table, &position), 0);
    EXPECT_EQ(position, 12);
}

TEST_F(StatusStore, CurrentPartIllegalInput)
{
    const part_entry odd[] = {{"a-name-that-is-thirty-two-chars!", "x", 1}, {nullptr, nullptr, 0}};
    root.write(KVR_CURRENT_PART_PATH, "kernel");
    EXPECT_EQ(kvr_dua_set_current_part(odd, 0), -1);
    EXPECT_TRUE(root.exists(KVR_CURRENT_PART_PATH));
    EXPECT_EQ(root.read(KVR_CURRENT_PART_PATH), "");
    EXPECT_NE(fatal_log().find(">>> Error: input para data is illegal.\n"), std::string::npos);
    EXPECT_EQ(kvr_dua_set_current_part(nullptr, 0), -1);
    int position = 5;
    EXPECT_EQ(kvr_dua_get_current_part(system_part_table, nullptr), -1);
    EXPECT_EQ(kvr_dua_get_current_part(nullptr, &position), -1);
    EXPECT_EQ(position, 5);
    EXPECT_EQ(count_of(fatal_log(), ">>> Error: Input is NULL.\n"), 3);
}

TEST_F(StatusStore, UpdateStatusIsDecimalWithoutNewline)
{
    EXPECT_EQ(kvr_dua_set_update_status(0), 0);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
    EXPECT_EQ(kvr_dua_get_update_status(), 0);
    EXPECT_EQ(kvr_dua_set_update_status(-12), 0);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "-12");
    EXPECT_EQ(kvr_dua_get_update_status(), -12);
    root.write(KVR_UPDATE_STATUS_PATH, "garbage");
    EXPECT_EQ(kvr_dua_get_update_status(), -1);
    std::filesystem::remove(root.real(KVR_UPDATE_STATUS_PATH));
    EXPECT_EQ(kvr_dua_get_update_status(), -1);
    expect_no_leftovers(KVR_DUA_DIR);
}

TEST_F(StatusStore, PackagePathRoundTrip)
{
    char path[KVR_DELTA_PATH_SIZE];
    EXPECT_EQ(get_delta_file_path(path), -1);
    EXPECT_EQ(set_delta_file_path("/cache/update.pkg"), 0);
    EXPECT_EQ(root.read(KVR_DELTA_CONF_PATH), "/cache/update.pkg");
    EXPECT_EQ(get_delta_file_path(path), 0);
    EXPECT_STREQ(path, "/cache/update.pkg");
    std::string longest = "/" + std::string(126, 'p');
    EXPECT_EQ(set_delta_file_path(longest.c_str()), 0);
    EXPECT_EQ(get_delta_file_path(path), 0);
    EXPECT_EQ(path, longest);
}

TEST_F(StatusStore, UnusablePackagePathsAreRefused)
{
    EXPECT_EQ(set_delta_file_path("/cache/update.pkg"), 0);
    EXPECT_EQ(set_delta_file_path(("/" + std::string(127, 'p')).c_str()), -1);
    EXPECT_EQ(set_delta_file_path("/cache/with space.pkg"), -1);
    EXPECT_EQ(set_delta_file_path(""), -1);
    EXPECT_EQ(root.read(KVR_DELTA_CONF_PATH), "/cache/update.pkg");
    root.write(KVR_DELTA_CONF_PATH, "/" + std::string(127, 'p'));
    char path[KVR_DELTA_PATH_SIZE] = "untouched";
    EXPECT_EQ(get_delta_file_path(path), -1);
    EXPECT_STREQ(path, "untouched");
    root.write(KVR_DELTA_CONF_PATH, "/cache/a.pkg trailing words");
    EXPECT_EQ(get_delta_file_path(path), 0);
    EXPECT_STREQ(path, "/cache/a.pkg");
}

TEST_F(StatusStore, RegistrationChecksThePackage)
{
    root.write("/cache/good.pkg", make_signed_package({{"kernel.mld", "k"}}));
    root.write("/cache/bad.pkg", "not a package at all");
    EXPECT_EQ(kvr_dua_verify_delta("/cache/bad.pkg"), -1);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "7");
    EXPECT_FALSE(root.exists(KVR_DELTA_CONF_PATH));
    EXPECT_EQ(kvr_dua_verify_delta("/cache/good.pkg"), 0);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "6");
    EXPECT_EQ(root.read(KVR_DELTA_CONF_PATH), "/cache/good.pkg");
    EXPECT_EQ(root.mode(KVR_DUA_BBM_DIR), 0700);
    EXPECT_EQ(kvr_dua_set_to_update(), 0);
    EXPECT_EQ(kvr_dua_get_update_status(), 9);
}

} // namespace
