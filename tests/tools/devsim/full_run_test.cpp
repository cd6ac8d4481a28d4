// The update's whole lifecycle through devsim, on the sim agent with the
// stand-in engine: a successful run across its two restarts, failing
// partitions, and packages of random bytes.
#include "agent_test_support.h"
#include "devsim_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace devsim_test;

namespace {

namespace fs = std::filesystem;

const char* const kAllMembers[] = {"init.mld",
                                   "obm.mld",
                                   "obm_cfg.mld",
                                   "mep2.mld",
                                   "uboot.mld",
                                   "arbel.mld",
                                   "msabinary.mld",
                                   "rfplugin.mld",
                                   "kernel.mld",
                                   "system.mld",
                                   "userdata.mld",
                                   "mass_storage.mld",
                                   "NVMFS.mld",
                                   "recovery.mld",
                                   "kernel_maintenance.mld",
                                   "uboot_maintenance.mld"};
constexpr int kMiscNumber = 16; // in the default layout

std::string flag_record(uint32_t flag)
{
    std::string bytes(12, '\0');
    agent_test::put_u32(bytes, 0, 0x41544F46);
    agent_test::put_u32(bytes, 4, flag);
    return bytes;
}

std::string full_package()
{
    agent_test::members content = {{"preprocessing.mld", "touch cache/pre_ran\n"},
                                   {"postprocessing.mld", "touch cache/post_ran\n"}};
    for (const char* name : kAllMembers) content.push_back({name, std::string("delta of ") + name});
    return agent_test::make_signed_package(content);
}

class FullRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_bytes(folder / "trusted.public", agent_test::trusted_key().public_text);
        devsim_result made = run_devsim({"init", root.string(), "--trust", (folder / "trusted.public").string()});
        ASSERT_EQ(made.status, 0) << made.err;
    }

    devsim_result register_package(const std::string& bytes, const std::vector<std::string>& options = {})
    {
        write_bytes(folder / "update.pkg", bytes);
        std::vector<std::string> args = {"register", root.string(), (folder / "update.pkg").string()};
        args.insert(args.end(), options.begin(), options.end());
        return run_devsim(args);
    }

    devsim_result run_update(const std::string& engine)
    {
        return run_devsim({"run", root.string()}, {"KVR_STANDIN_ENGINE=" + engine});
    }

    std::string device_file(const std::string& device_path) { return read_bytes(root / device_path.substr(1)); }
    bool device_has(const std::string& device_path) { return fs::exists(root / device_path.substr(1)); }
    std::string misc() { return device_file("/dev/mtd/mtd" + std::to_string(kMiscNumber)); }

    // What every ended update leaves, successful or not.
    void expect_ended_update(const std::string& status)
    {
        EXPECT_EQ(device_file("/cache/kvr_fota/dua/update_status"), status);
        EXPECT_FALSE(device_has("/cache/kvr_fota/update.flg"));
        EXPECT_FALSE(device_has("/cache/kvr_fota/current_update"));
        EXPECT_FALSE(device_has("/cache/update.pkg"));
        EXPECT_TRUE(device_has("/cache/up_result_for_del.flg"));
    }

    temp_folder folder;
    fs::path root = folder / "root";
};

TEST_F(FullRun, StateAndLifecycleOfASuccessfulUpdate)
{
    devsim_result registered = register_package(full_package());
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find("registered /cache/update.pkg"), std::string::npos);

    devsim_result run = run_update("pass");
    EXPECT_EQ(run.status, 0) << run.out << run.err;

    std::string first = report_section(run.out, "start 1:");
    EXPECT_NE(first.find("start 1: kvr_fota_update update\n"), std::string::npos) << run.out;
    EXPECT_NE(first.find("\n  stages run: 9 0 1\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\n  FOTA flag record in misc: FOTA 1\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\n  end: restart requested\n"), std::string::npos) << first;

    std::string second = report_section(run.out, "start 2:");
    EXPECT_NE(second.find("start 2: kvr_fota_update\n"), std::string::npos) << run.out;
    EXPECT_NE(second.find("\n  before: update.flg \"2\", update status 9 (update under way)\n"), std::string::npos)
        << second;
    EXPECT_NE(second.find("\n  log: Fota update after device reboot. stage=3\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  stages run: 2 3\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  log: FOTA Update successful.\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  FOTA flag record in misc: FOTA 2\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  end: restart requested\n"), std::string::npos) << second;

    std::string third = report_section(run.out, "start 3:");
    std::vector<std::string> third_log = {"Begin to kvr_fota_update. this is source. argc=1",
                                          "POWER_FAIL_PROT is not exist.", "Process (kvr_fota_update)  exist. "};
    EXPECT_EQ(logged_messages(third), third_log) << third;
    EXPECT_NE(third.find("\n  stages run: none\n"), std::string::npos) << third;
    EXPECT_NE(third.find("\n  end: finished, no restart requested\n"), std::string::npos) << third;
    EXPECT_EQ(report_section(run.out, "start 4:"), "");

    std::string summary = report_section(run.out, "summary:");
    EXPECT_NE(summary.find("\n  starts 3, restarts 2, power cuts 0\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  update status: 0 (update finished successfully)\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  update.flg: absent\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  package /cache/update.pkg: deleted\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  up_result_for_del.flg: present\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  FOTA flag record in misc (mtd16): FOTA 2, erased (0xFF) after it\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("\n    /cache/up_result_for_del.flg (0 bytes)\n"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("/cache/update.pkg ("), std::string::npos) << summary;
    EXPECT_NE(run.out.find("\nresult: update finished successfully\n"), std::string::npos) << run.out;

    expect_ended_update("0");
    EXPECT_TRUE(device_has("/cache/pre_ran"));
    EXPECT_TRUE(device_has("/cache/post_ran"));
    std::string flash = misc();
    ASSERT_EQ(flash.size(), 0x40000u);
    EXPECT_EQ(flash.substr(0, 12), flag_record(2));
    EXPECT_EQ(flash.substr(12), std::string(flash.size() - 12, '\xFF'));
    EXPECT_EQ(device_file("/sim/restarts"), "2\n");
    std::string fatal = device_file("/cache/kvr_fota/dua/log_fatal_kvr");
    std::string last_start = fatal.substr(fatal.rfind('\n', fatal.rfind("Begin to kvr_fota_update")) + 1);
    EXPECT_EQ(agent_test::count_of(last_start, " >>> "), 3) << last_start;
    EXPECT_NE(last_start.find(">>> POWER_FAIL_PROT is not exist.\n"), std::string::npos) << last_start;
}

TEST_F(FullRun, FailingSystemPartitionEndsWithFlagTwo)
{
    ASSERT_EQ(register_package(full_package()).status, 0);
    devsim_result run = run_update("fail:system:0");
    EXPECT_EQ(run.status, 1) << run.out;
    std::string second = report_section(run.out, "start 2:");
    EXPECT_NE(second.find("\n  log: Error: update Normal System failed.\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  stages run: 2\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n  FOTA flag record in misc: FOTA 2\n"), std::string::npos) << second;
    EXPECT_NE(report_section(run.out, "start 3:").find("end: finished, no restart requested"), std::string::npos);
    std::string summary = report_section(run.out, "summary:");
    EXPECT_NE(summary.find("\n  update status: 1 (update failed)\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("(mtd16): FOTA 2, erased (0xFF) after it\n"), std::string::npos) << summary;
    EXPECT_NE(run.out.find("\nresult: update failed\n"), std::string::npos) << run.out;

    expect_ended_update("1");
    EXPECT_EQ(misc().substr(0, 12), flag_record(2));
    EXPECT_EQ(misc().find_first_not_of('\xFF', 12), std::string::npos);
}

TEST_F(FullRun, FailingRecoveryPartitionEndsWithoutFlag)
{
    ASSERT_EQ(register_package(full_package()).status, 0);
    devsim_result run = run_update("fail:kernel_maintenance:0");
    EXPECT_EQ(run.status, 1) << run.out;
    std::string first = report_section(run.out, "start 1:");
    EXPECT_NE(first.find("\n  log: Error: Update Recovery System failed.\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\n  stages run: 9 0 1\n"), std::string::npos) << first;
    EXPECT_EQ(first.find("FOTA flag record"), std::string::npos) << first;
    EXPECT_NE(first.find("\n  end: restart requested\n"), std::string::npos) << first;
    EXPECT_EQ(report_section(run.out, "start 3:"), "");
    std::string summary = report_section(run.out, "summary:");
    EXPECT_NE(summary.find("\n  FOTA flag record file: absent\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n  FOTA flag record in misc (mtd16): erased (0xFF)\n"), std::string::npos) << summary;

    expect_ended_update("1");
    EXPECT_EQ(misc(), std::string(0x40000, '\xFF'));
}

// A package of random bytes: the agent ends the update as failed and the
// device stays bootable: no flash partition changed, and its next start ends
// without asking for another.
TEST_F(FullRun, RandomBytesPackageEndsAsFailedUpdateAndLeavesTheDeviceBootable)
{
    std::mt19937 random(20260);
    std::string bytes(3000, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    bytes[0] = 0; // never the package magic by chance

    devsim_result refused = register_package(bytes);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("update status 7 (package header check failed)"), std::string::npos) << refused.out;

    devsim_result registered = register_package(bytes, {"--unchecked"});
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_EQ(device_file("/cache/kvr_fota/dua/update_status"), "6");
    EXPECT_EQ(device_file("/cache/kvr_fota/dua/delta_file_conf"), "/cache/update.pkg");

    std::vector<std::string> flash_before = all_flash(root);
    devsim_result run = run_update("pass");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(report_section(run.out, "start 1:").find("\n  log: Error: package member or table is altered.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(report_section(run.out, "start 2:").find("end: finished, no restart requested"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\nresult: update failed\n"), std::string::npos) << run.out;
    expect_ended_update("1");
    EXPECT_EQ(all_flash(root), flash_before);
}

TEST_F(FullRun, RandomBytesBehindAValidHeaderEndAsFailedUpdate)
{
    std::mt19937 random(77);
    std::string bytes(5000, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    agent_test::put_u32(bytes, 0, 0x55AA5588);
    agent_test::put_u32(bytes, 4, 0x7FFFFFFF);

    EXPECT_EQ(register_package(bytes).status, 1);
    ASSERT_EQ(register_package(bytes, {"--unchecked"}).status, 0);
    std::vector<std::string> flash_before = all_flash(root);
    devsim_result run = run_update("pass");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("\n  starts 2, restarts 1, power cuts 0\n"), std::string::npos) << run.out;
    expect_ended_update("1");
    EXPECT_EQ(all_flash(root), flash_before);
}

// The stand-in's cut ends every start at the same partition, so the device
// never gets past it: devsim stops at its bound and says so.
TEST_F(FullRun, CutAtEveryStartIsReportedAsARestartLoop)
{
    ASSERT_EQ(register_package(full_package()).status, 0);
    devsim_result run = run_update("cut:kernel:0");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(
        report_section(run.out, "start 2:").find("end: ended before finishing (power cut), update.flg \"2\" left"),
        std::string::npos)
        << run.out;
    EXPECT_NE(report_section(run.out, "start 16:"), "");
    EXPECT_EQ(report_section(run.out, "start 17:"), "");
    EXPECT_NE(run.out.find("\n  starts 16, restarts 1, power cuts 15\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nresult: restart loop: the device still restarts after 16 starts\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(device_file("/cache/kvr_fota/current_update"), "kernel");
}

} // namespace
