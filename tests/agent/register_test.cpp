// The registering command, then the agent started as the device's software
// starts it.
#include "agent_test_support.h"

#include "paths.h"

#include <gtest/gtest.h>

using namespace agent_test;

namespace {

TEST(Register, RegistersAGoodPackageAndTheUpdateRuns)
{
    sim_root root;
    root.write("/cache/update.pkg", make_signed_package({{"kernel.mld", "k"}, {"recovery.mld", "r"}}));
    run_result registered = run_program(KVR_REGISTER_BINARY, root, {"/cache/update.pkg"});
    EXPECT_EQ(registered.status, 0);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "9");
    EXPECT_EQ(root.read(KVR_DELTA_CONF_PATH), "/cache/update.pkg");
    EXPECT_EQ(root.mode(KVR_DUA_BBM_DIR), 0700);
    EXPECT_EQ(run_update_to_end(root, {"KVR_STANDIN_ENGINE=pass"}), 3);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
}

TEST(Register, RefusesABadPackage)
{
    sim_root root;
    root.write("/cache/update.pkg", "no package");
    run_result refused = run_program(KVR_REGISTER_BINARY, root, {"/cache/update.pkg"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("kvr_fota_register: /cache/update.pkg was not registered\n"), std::string::npos);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "7");
    EXPECT_FALSE(root.exists(KVR_DELTA_CONF_PATH));
    EXPECT_EQ(run_program(KVR_REGISTER_BINARY, root, {}).status, 2);
}

// A package altered after signing is refused as a bad header is: status 7,
// the reason in the fatal log, no path stored.
TEST(Register, RefusesATamperedPackageWithStatus7)
{
    sim_root root;
    std::string bytes = make_signed_package({{"kernel.mld", "k"}, {"preprocessing.mld", "touch cache/pre_ran\n"}});
    bytes[bytes.size() - 90] ^= 0x01;
    root.write("/cache/update.pkg", bytes);
    run_result refused = run_program(KVR_REGISTER_BINARY, root, {"/cache/update.pkg"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "7");
    EXPECT_FALSE(root.exists(KVR_DELTA_CONF_PATH));
    EXPECT_NE(root.read(KVR_FATAL_LOG_PATH).find(">>> Error: package signature is bad.\n"), std::string::npos);
    EXPECT_EQ(refused.err.find("need open log file first"), std::string::npos) << refused.err;
}

} // namespace
