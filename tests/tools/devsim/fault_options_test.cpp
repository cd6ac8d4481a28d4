// What devsim run hands the simulated device: the fault options as
// KVR_SIM_ variables, the device-wide power-cut count, KVR_STANDIN_ENGINE
// from its own environment, nothing else of KVR_SIM_, and the power cut only
// until the device has cut the power. The agent here is a test script that records its environment on
// the device.
#include "devsim_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace devsim_test;

namespace {

namespace fs = std::filesystem;

// Records its arguments and KVR_ variables. Given a power cut, it ends as
// the simulated flash cuts the power: the cut counted, update.flg left
// behind; else it ends as the agent does when there is nothing to resume.
const char kRecordingAgent[] =
    "#!/bin/sh\n"
    "{ echo \"start $*\"; env | grep '^KVR_' | sort; } >> \"$KVR_FOTA_ROOT/cache/seen\"\n"
    "mkdir -p \"$KVR_FOTA_ROOT/cache/kvr_fota/dua\"\n"
    "if [ -n \"$KVR_SIM_POWER_CUT\" ]; then\n"
    "  printf 2 > \"$KVR_FOTA_ROOT/cache/kvr_fota/update.flg\"\n"
    "  echo 1 > \"$KVR_FOTA_ROOT/sim/power_cuts\"\n"
    "else\n"
    "  rm -f \"$KVR_FOTA_ROOT/cache/kvr_fota/update.flg\"\n"
    "  echo 'main[1] >>> Process (kvr_fota_update)  exist. ' >> \"$KVR_FOTA_ROOT/cache/kvr_fota/dua/log_fatal_kvr\"\n"
    "fi\n";

TEST(DevsimFaults, PassedToTheDeviceAsDocumented)
{
    temp_folder folder;
    fs::path root = folder / "root";
    ASSERT_EQ(run_devsim({"init", root.string()}).status, 0);
    fs::path agent = folder / "recording_agent.sh";
    write_bytes(agent, kRecordingAgent);
    fs::permissions(agent, fs::perms::owner_all);

    devsim_result run = run_devsim(
        {"run", root.string(), "--power-cut", "3", "--fail-erase", "5", "--fail-write", "7", "--agent", agent.string()},
        {"KVR_STANDIN_ENGINE=pass", "KVR_SIM_REBOOT_FAIL=1", "KVR_FOTA_ROOT=/elsewhere"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("\nfaults: KVR_SIM_FAIL_ERASE=5 KVR_SIM_FAIL_WRITE=7 KVR_SIM_POWER_CUT=3 (until the device "
                           "cuts the power)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(report_section(run.out, "start 1:").find("\n  end: power cut by the simulated device; power returns\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(report_section(run.out, "start 2:").find("\n  end: finished, no restart requested\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n  starts 2, restarts 0, power cuts 1\n"), std::string::npos) << run.out;

    std::string device_root = fs::canonical(root).string();
    std::string expected = "start update\n"
                           "KVR_FOTA_ROOT=" +
                           device_root +
                           "\n"
                           "KVR_SIM_BOOT=1\n"
                           "KVR_SIM_FAIL_ERASE=5\n"
                           "KVR_SIM_FAIL_WRITE=7\n"
                           "KVR_SIM_POWER_CUT=3\n"
                           "KVR_SIM_POWER_CUT_SCOPE=device\n"
                           "KVR_STANDIN_ENGINE=pass\n"
                           "start \n"
                           "KVR_FOTA_ROOT=" +
                           device_root +
                           "\n"
                           "KVR_SIM_BOOT=1\n"
                           "KVR_SIM_FAIL_ERASE=5\n"
                           "KVR_SIM_FAIL_WRITE=7\n"
                           "KVR_SIM_POWER_CUT_SCOPE=device\n"
                           "KVR_STANDIN_ENGINE=pass\n";
    EXPECT_EQ(read_bytes(root / "cache/seen"), expected);
}

TEST(DevsimFaults, WithoutOptionsNoFaultReachesTheDevice)
{
    temp_folder folder;
    fs::path root = folder / "root";
    ASSERT_EQ(run_devsim({"init", root.string()}).status, 0);
    fs::path agent = folder / "recording_agent.sh";
    write_bytes(agent, kRecordingAgent);
    fs::permissions(agent, fs::perms::owner_all);

    devsim_result run = run_devsim({"run", root.string(), "--agent", agent.string()}, {"KVR_SIM_POWER_CUT=1"});
    EXPECT_NE(run.out.find("\nfaults: none\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nKVR_STANDIN_ENGINE: (unset)\n"), std::string::npos) << run.out;
    EXPECT_EQ(read_bytes(root / "cache/seen"), "start update\nKVR_FOTA_ROOT=" + fs::canonical(root).string() +
                                                   "\nKVR_SIM_BOOT=1\nKVR_SIM_POWER_CUT_SCOPE=device\n");
}

} // namespace
