// The FOTA flag record in "misc" and the update flag page in "fota".
#include "agent_test_support.h"

#include "fota_flag.h"
#include "log.h"
#include "mtd_lookup.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace agent_test;

namespace {

std::string record(uint32_t flag)
{
    std::string bytes(12, '\0');
    put_u32(bytes, 0, 0x41544F46);
    put_u32(bytes, 4, flag);
    return bytes;
}

class FotaFlag : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        attach(root);
    }
    void TearDown() override { detach(); }
    std::string flash(const std::string& name) { return root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number(name))); }

    sim_root root;
};

TEST_F(FotaFlag, RecordLandsAtTheStartOfErasedMisc)
{
    root.write("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc")), std::string(0x40000, '\x55'));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(set_fota_flag(1), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(root.read(KVR_FOTA_FLAG_PATH), record(1));
    std::string misc = flash("misc");
    ASSERT_EQ(misc.size(), 0x40000u);
    EXPECT_EQ(misc.substr(0, 12), record(1));
    EXPECT_EQ(misc.substr(12), std::string(0x40000 - 12, '\xFF'));
    EXPECT_EQ(misc.substr(0, 4), "FOTA");
    EXPECT_NE(err.find("flash_flag is 1\n"), std::string::npos);
    EXPECT_NE(err.find("======ml_get_mtd_block_num  mtd_block_num = 16 \n"), std::string::npos);
    EXPECT_NE(err.find("======shell_cmd = busybox dd if=/cache/kvr_fota/dua/tmp/FOTA_FLAG.bin "
                       "of=/dev/block/mtdblock16 bs=1024 count=1 seek=0\n"),
              std::string::npos);
    EXPECT_EQ(set_fota_flag(2), 0);
    EXPECT_EQ(flash("misc").substr(0, 12), record(2));
}

TEST_F(FotaFlag, NoMiscPartitionStillWritesTheRecord)
{
    root.write("/proc/mtd", "dev:    size   erasesize  name\nmtd0: 00040000 00020000 \"fota\"\n");
    EXPECT_EQ(set_fota_flag(1), -1);
    EXPECT_EQ(root.read(KVR_FOTA_FLAG_PATH), record(1));
}

TEST_F(FotaFlag, RecordFileThatCannotBeWritten)
{
    std::filesystem::remove_all(root.real(KVR_DUA_TMP_DIR));
    EXPECT_EQ(set_fota_flag(2), -2);
}

TEST_F(FotaFlag, PartitionLookupIsExact)
{
    root.write("/proc/mtd", "dev:    size   erasesize  name\n"
                            "mtd0: 00040000 00020000 \"Misc\"\n"
                            "mtd1: 00040000 00020000 \"misc2\"\n"
                            "mtd7: 00040000 00020000 \"misc\"\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ml_get_mtd_block_num("misc"), 7);
    EXPECT_EQ(ml_get_mtd_block_num("MISC"), -1);
    EXPECT_EQ(ml_get_mtd_block_num(""), -1);
    EXPECT_EQ(ml_get_mtd_block_num(nullptr), -1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(err, "find mtd success \n"), 1);
    EXPECT_EQ(count_of(err, "input paramter illegal \n"), 2);
}

TEST_F(FotaFlag, OnlyTheFirst2047BytesOfTheTableAreSearched)
{
    std::string table = "dev:    size   erasesize  name\n";
    for (int i = 0; table.size() < 2100; ++i) table += "mtd" + std::to_string(i) + ": 00040000 00020000 \"p" + std::to_string(i) + "\"\n";
    table += "mtd99: 00040000 00020000 \"misc\"\n";
    root.write("/proc/mtd", table);
    EXPECT_EQ(ml_get_mtd_block_num("misc"), -1);
    EXPECT_EQ(ml_get_mtd_block_num("p1"), 1);
}

TEST_F(FotaFlag, UpdateFlagPageSetThenCleared)
{
    root.write("/dev/mtd/mtd" + std::to_string(root.mtd_number("fota")), std::string(0x40000, '\0'));
    EXPECT_EQ(kvr_dua_set_update_flag(), 0);
    std::string fota = flash("fota");
    EXPECT_EQ(fota.substr(0, 4), std::string("\x43\x53\x64\x64", 4));
    EXPECT_EQ(fota.substr(4, 0x20000 - 4), std::string(0x20000 - 4, '\xFF'));
    EXPECT_EQ(fota.substr(0x20000), std::string(0x20000, '\0'));
    EXPECT_EQ(kvr_dua_clr_update_flag(), 0);
    fota = flash("fota");
    EXPECT_EQ(fota.substr(0, 4), std::string("\x03\x53\x60\x60", 4));
    EXPECT_EQ(fota.substr(4, 2044), std::string(2044, '\xFF'));
}

TEST_F(FotaFlag, ClearingWithoutEraseFailsWhereBitsWouldBeSet)
{
    root.write("/dev/mtd/mtd" + std::to_string(root.mtd_number("fota")), std::string(0x40000, '\0'));
    EXPECT_EQ(kvr_dua_clr_update_flag(), -1);
    EXPECT_EQ(flash("fota").substr(0, 2048), std::string(2048, '\0'));
    std::fflush(g_kvr_log->fp);
    EXPECT_EQ(count_of(root.read(KVR_LOG_PATH), ">>> flash write error:Input/output error\n"), 1);
}

TEST_F(FotaFlag, UpdateFlagWithoutFotaPartition)
{
    root.write("/proc/mtd", "dev:    size   erasesize  name\n");
    EXPECT_EQ(kvr_dua_set_update_flag(), -1);
    EXPECT_EQ(kvr_dua_clr_update_flag(), -1);
    std::fflush(g_kvr_log->fp);
    EXPECT_EQ(count_of(root.read(KVR_LOG_PATH), ">>> fota partition is not find\n"), 2);
}

} // namespace
