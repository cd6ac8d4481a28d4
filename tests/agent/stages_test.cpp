// The agent as the device runs it: started with "update", then once per
// restart without arguments, on a simulated device.
#include "agent_test_support.h"

#include "paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

using namespace agent_test;

namespace {

const char kPackage[] = "/cache/update.pkg";
const std::vector<std::string> kPass = {"KVR_STANDIN_ENGINE=pass"};
const char* const kAllMembers[] = {"init.mld", "obm.mld", "obm_cfg.mld", "mep2.mld", "uboot.mld", "arbel.mld",
                                   "msabinary.mld", "rfplugin.mld", "kernel.mld", "system.mld", "userdata.mld",
                                   "mass_storage.mld", "NVMFS.mld", "recovery.mld", "kernel_maintenance.mld",
                                   "uboot_maintenance.mld"};

std::string flag_record(uint32_t flag)
{
    std::string bytes(12, '\0');
    put_u32(bytes, 0, 0x41544F46);
    put_u32(bytes, 4, flag);
    return bytes;
}

members full_package()
{
    members content = {{"preprocessing.mld", "touch cache/pre_ran\n"}, {"postprocessing.mld", "touch cache/post_ran\n"}};
    for (const char* name : kAllMembers) content.push_back({name, std::string("delta of ") + name});
    return content;
}

class Stages : public ::testing::Test {
protected:
    void register_package(const std::string& bytes)
    {
        root.write(kPackage, bytes);
        root.write(KVR_DELTA_CONF_PATH, kPackage);
        root.write(KVR_UPDATE_STATUS_PATH, "6");
        root.write(KVR_LOG_FLAG_PATH, "");
    }
    std::string fatal_log() { return root.read(KVR_FATAL_LOG_PATH); }
    std::string agent_log() { return root.read(KVR_LOG_PATH); }
    // The fatal log written since the last start of the agent.
    std::string last_start()
    {
        std::string text = fatal_log();
        size_t at = text.rfind(">>> Begin to kvr_fota_update");
        if (at == std::string::npos) return "";
        size_t line = text.rfind('\n', at);
        return text.substr(line == std::string::npos ? 0 : line + 1);
    }
    std::string misc() { return root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc"))); }
    bool fatal_has(const std::string& line) { return fatal_log().find(">>> " + line) != std::string::npos; }

    void expect_failed_update()
    {
        EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
        EXPECT_FALSE(root.exists(KVR_CURRENT_PART_PATH));
        EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "1");
        EXPECT_FALSE(root.exists(kPackage));
        EXPECT_TRUE(root.exists(KVR_RESULT_FLAG_PATH));
    }

    sim_root root;
};

TEST_F(Stages, FullUpdateAcrossTwoRestarts)
{
    register_package(make_signed_package(full_package()));

    run_result first = run_agent(root, {"update"}, kPass);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.restarts, 1);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
    EXPECT_FALSE(root.exists(KVR_CURRENT_PART_PATH));
    EXPECT_EQ(misc().substr(0, 12), flag_record(1));
    EXPECT_TRUE(root.exists("/cache/pre_ran"));
    EXPECT_FALSE(root.exists(KVR_PRE_SCRIPT_PATH));
    std::string log = fatal_log();
    size_t pre = log.find(">>> Start pre update stage.\n");
    size_t verify = log.find(">>> Start verify recovery system.\n");
    size_t verify_system = log.find(">>> Start verify Normal system.\n");
    size_t recovery = log.find(">>> Start update Recovery System.\n");
    EXPECT_LT(pre, verify);
    EXPECT_LT(verify, verify_system);
    EXPECT_LT(verify_system, recovery);
    EXPECT_NE(recovery, std::string::npos);
    EXPECT_EQ(count_of(log, ", mode is 1\n"), 16);
    EXPECT_EQ(count_of(log, ", mode is 0\n"), 3);
    EXPECT_EQ(count_of(log, "Process (kvr_fota_update)  exist."), 0);

    run_result second = run_agent(root, {}, kPass);
    EXPECT_EQ(second.restarts, 1);
    std::string resumed = last_start();
    EXPECT_NE(resumed.find(">>> Fota update after device reboot. stage=3\n"), std::string::npos);
    EXPECT_NE(resumed.find(">>> Start update Normal System.\n"), std::string::npos);
    EXPECT_EQ(count_of(resumed, ", mode is 0\n"), 13);
    EXPECT_NE(resumed.find(">>> Start post update stage.\n"), std::string::npos);
    EXPECT_NE(resumed.find(">>> FOTA Update successful.\n"), std::string::npos);
    EXPECT_EQ(resumed.find("Recovery"), std::string::npos);
    EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
    EXPECT_FALSE(root.exists(kPackage));
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
    EXPECT_TRUE(root.exists(KVR_RESULT_FLAG_PATH));
    EXPECT_TRUE(root.exists("/cache/post_ran"));
    EXPECT_FALSE(root.exists(KVR_POST_SCRIPT_PATH));
    std::string flash = misc();
    EXPECT_EQ(flash.substr(0, 12), flag_record(2));
    EXPECT_EQ(flash.substr(12), std::string(flash.size() - 12, '\xFF'));

    run_result third = run_agent(root, {}, kPass);
    EXPECT_EQ(third.restarts, 0);
    EXPECT_EQ(count_of(last_start(), " >>> "), 3);
    EXPECT_NE(last_start().find(">>> POWER_FAIL_PROT is not exist.\n"), std::string::npos);
    EXPECT_EQ(root.read("/sim/restarts"), "2\n");
}

TEST_F(Stages, NoArgumentAndNoFlagOnlyLogs)
{
    run_result run = run_agent(root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.restarts, 0);
    std::string log = fatal_log();
    EXPECT_EQ(count_of(log, " >>> "), 3);
    EXPECT_NE(log.find(">>> Begin to kvr_fota_update. this is source. argc=1\n"), std::string::npos);
    EXPECT_NE(log.find(">>> POWER_FAIL_PROT is not exist.\n"), std::string::npos);
    EXPECT_NE(log.find(">>> Process (kvr_fota_update)  exist. \n"), std::string::npos);
    EXPECT_FALSE(root.exists(KVR_LOG_PATH));
    EXPECT_FALSE(root.exists(KVR_UPDATE_STATUS_PATH));
    EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
}

TEST_F(Stages, UpdateInOtherCaseBehavesAsNone)
{
    register_package(make_signed_package(full_package()));
    run_result run = run_agent(root, {"UPDATE"}, kPass);
    EXPECT_EQ(run.restarts, 0);
    EXPECT_EQ(count_of(fatal_log(), " >>> "), 3);
    EXPECT_NE(fatal_log().find("argc=2\n"), std::string::npos);
    EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "6");
}

TEST_F(Stages, StoredStageTwoRunsOnlyTheLastTwoStages)
{
    register_package(make_signed_package(full_package()));
    root.write(KVR_STAGE_PATH, "2");
    EXPECT_EQ(run_update_to_end(root, kPass), 2);
    EXPECT_TRUE(fatal_has("Fota update after device reboot. stage=3\n"));
    EXPECT_FALSE(fatal_has("Start pre update stage.\n"));
    EXPECT_FALSE(fatal_has("Start verify recovery system.\n"));
    EXPECT_FALSE(fatal_has("Start update Recovery System.\n"));
    EXPECT_TRUE(fatal_has("Start update Normal System.\n"));
    EXPECT_TRUE(fatal_has("FOTA Update successful.\n"));
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
}

TEST_F(Stages, UnknownStoredStageFailsWithFlagTwo)
{
    register_package(make_signed_package(full_package()));
    root.write(KVR_STAGE_PATH, "7");
    run_result run = run_agent(root, {}, kPass);
    EXPECT_EQ(run.restarts, 1);
    EXPECT_TRUE(fatal_has("Fota update after device reboot. stage=5\n"));
    expect_failed_update();
    EXPECT_EQ(misc().substr(0, 12), flag_record(2));
    EXPECT_FALSE(fatal_has("Start update Normal System.\n"));
}

TEST_F(Stages, PackageWithoutPreprocessingStillAdvances)
{
    members content = full_package();
    content.erase(content.begin());
    register_package(make_signed_package(content));
    run_result run = run_agent(root, {"update"}, kPass);
    EXPECT_EQ(run.restarts, 1);
    EXPECT_TRUE(fatal_has("preprocessing.sh is not found.\n"));
    EXPECT_TRUE(fatal_has("Start verify recovery system.\n"));
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
}

TEST_F(Stages, AbsentMembersAreSkipped)
{
    register_package(make_signed_package({{"kernel.mld", "k"}, {"recovery.mld", "r"}}));
    EXPECT_EQ(run_update_to_end(root, kPass), 3);
    std::string log = agent_log();
    EXPECT_NE(log.find(">>> init is not found in file_package.\n"), std::string::npos);
    EXPECT_NE(log.find(">>> uboot_maintenance is not found in file_package.\n"), std::string::npos);
    EXPECT_EQ(count_of(fatal_log(), "Start update kernel, mode is"), 2);
    EXPECT_EQ(count_of(fatal_log(), "Start update recovery, mode is"), 2);
    EXPECT_EQ(count_of(fatal_log(), "Start update init, mode is"), 0);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
}

TEST_F(Stages, PowerCutInsideTheSystemTableResumesAtThatPartition)
{
    register_package(make_signed_package(full_package()));
    EXPECT_EQ(run_agent(root, {"update"}, kPass).restarts, 1);
    run_result cut = run_agent(root, {}, {"KVR_STANDIN_ENGINE=cut:kernel:0"});
    EXPECT_EQ(cut.restarts, 0);
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
    EXPECT_EQ(root.read(KVR_CURRENT_PART_PATH), "kernel");
    EXPECT_TRUE(fatal_has("Start update kernel, mode is 0\n"));
    run_result resumed = run_agent(root, {}, kPass);
    EXPECT_EQ(resumed.restarts, 1);
    std::string log = last_start();
    EXPECT_EQ(log.find("Start update init, mode is 0"), std::string::npos);
    EXPECT_EQ(log.find("Start update rfplugin, mode is 0"), std::string::npos);
    EXPECT_NE(log.find("Start update kernel, mode is 0"), std::string::npos);
    EXPECT_NE(log.find("Start update NVMFS, mode is 0"), std::string::npos);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
}

TEST_F(Stages, CurrentPartWithNewlineRunsTheWholeTable)
{
    register_package(make_signed_package(full_package()));
    root.write(KVR_STAGE_PATH, "2");
    root.write(KVR_CURRENT_PART_PATH, "kernel\n");
    run_result run = run_agent(root, {}, kPass);
    EXPECT_EQ(run.restarts, 1);
    EXPECT_TRUE(fatal_has("Error: part name is not match part in current_update file.\n"));
    EXPECT_TRUE(fatal_has("Start update init, mode is 0\n"));
}

TEST_F(Stages, VerifyFailureEndsTheUpdateWithoutFlag)
{
    register_package(make_signed_package(full_package()));
    run_result run = run_agent(root, {"update"}, {"KVR_STANDIN_ENGINE=fail:kernel:1"});
    EXPECT_EQ(run.restarts, 1);
    EXPECT_TRUE(fatal_has("Error: verify failed.\n"));
    EXPECT_FALSE(fatal_has("Start update Recovery System.\n"));
    expect_failed_update();
    EXPECT_FALSE(root.exists("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc"))));
    EXPECT_EQ(run_agent(root, {}, kPass).restarts, 0);
}

TEST_F(Stages, SystemFailureEndsTheUpdateWithFlagTwo)
{
    register_package(make_signed_package(full_package()));
    EXPECT_EQ(run_update_to_end(root, {"KVR_STANDIN_ENGINE=fail:system:0"}), 3);
    EXPECT_TRUE(fatal_has("Error: update Normal System failed.\n"));
    EXPECT_FALSE(fatal_has("Start post update stage.\n"));
    expect_failed_update();
    EXPECT_EQ(misc().substr(0, 12), flag_record(2));
}

TEST_F(Stages, RecoveryFailureEndsTheUpdateWithoutFlag)
{
    register_package(make_signed_package(full_package()));
    run_result run = run_agent(root, {"update"}, {"KVR_STANDIN_ENGINE=fail:recovery:0"});
    EXPECT_EQ(run.restarts, 1);
    EXPECT_TRUE(fatal_has("Error: Update Recovery System failed.\n"));
    expect_failed_update();
    EXPECT_FALSE(root.exists("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc"))));
}

TEST_F(Stages, FailedRestartRequestEndsTheProcess)
{
    register_package(make_signed_package(full_package()));
    run_result run = run_agent(root, {"update"}, {"KVR_STANDIN_ENGINE=pass", "KVR_SIM_REBOOT_FAIL=1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.restarts, 0);
    EXPECT_TRUE(fatal_has("Error: reboot failed:Operation not permitted\n"));
    EXPECT_FALSE(fatal_has("Start update Normal System.\n"));
    EXPECT_FALSE(fatal_has("Process (kvr_fota_update)  exist."));
    EXPECT_EQ(root.read(KVR_STAGE_PATH), "2");
    EXPECT_EQ(run_update_to_end(root, kPass), 2);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
}

TEST_F(Stages, MissingEngineFailsTheUpdate)
{
    register_package(make_signed_package(full_package()));
    EXPECT_EQ(run_update_to_end(root, {}), 2);
    EXPECT_TRUE(fatal_has("Error: verify failed.\n"));
    expect_failed_update();
}

TEST_F(Stages, RandomBytesPackageEndsAsFailedUpdate)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 3; ++round) {
        std::string bytes(64 + round * 700, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        if (round == 2) {
            put_u32(bytes, 0, 0x55AA5588);
            put_u32(bytes, 4, 0x7FFFFFFF);
        }
        register_package(bytes);
        EXPECT_EQ(run_update_to_end(root, kPass), 2);
        expect_failed_update();
        EXPECT_FALSE(root.exists("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc"))));
        std::filesystem::remove(root.real(KVR_RESULT_FLAG_PATH));
    }
}

} // namespace
