// Only a package signed by a key the device trusts reaches the flash: the
// sim agent refuses every altered, unsigned or foreign package at the start
// of an update and at a resumed start, before a script runs or a flash
// partition changes, with its reason in the fatal log.
#include "agent_test_support.h"

#include "paths.h"
#include "signature_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

using namespace agent_test;

namespace {

namespace fs = std::filesystem;

const char kPackage[] = "/cache/update.pkg";
const std::vector<std::string> kPass = {"KVR_STANDIN_ENGINE=pass"};
const char kNotSigned[] = "Error: package is not signed.\n";
const char kUnknownKey[] = "Error: package is signed by an unknown key.\n";
const char kBadSignature[] = "Error: package signature is bad.\n";
const char kAltered[] = "Error: package member or table is altered.\n";

// Scripts that leave a mark when they run, an image delta and a
// file-system delta.
members marked_content()
{
    return {{"preprocessing.mld", "touch cache/pre_ran\n"}, {"kernel.mld", "image delta of kernel"},
            {"recovery.mld", "image delta of recovery"},  {"system.mld", "file-system delta of system"},
            {"postprocessing.mld", "touch cache/post_ran\n"}};
}

// The members of the signed package, its signature member last.
members signed_members(const members& content, const signing_key& key = trusted_key())
{
    std::string bytes = make_signed_package(content, key);
    members laid = content;
    laid.push_back({KVR_SIGNATURE_MEMBER, bytes.substr(bytes.size() - KVR_SIGNATURE_RECORD_SIZE)});
    return laid;
}

members with_member_byte_changed(const std::string& name)
{
    members laid = signed_members(marked_content());
    for (auto& member : laid)
        if (member.first == name) member.second[3] ^= 0x20;
    return laid;
}

struct tampering {
    const char* name;
    std::function<std::string()> package;
    const char* reason;
};

std::vector<tampering> tamperings()
{
    return {
        {"unsigned", [] { return make_package(marked_content()); }, kNotSigned},
        {"signed by a key the device does not hold", [] { return make_signed_package(marked_content(), other_key()); },
         kUnknownKey},
        {"signature bit flipped",
         [] {
             std::string bytes = make_signed_package(marked_content());
             bytes.back() ^= 0x01;
             return bytes;
         },
         kBadSignature},
        {"signature truncated",
         [] {
             members laid = signed_members(marked_content());
             laid.back().second.resize(KVR_SIGNATURE_RECORD_SIZE - 10);
             return make_package(laid);
         },
         kBadSignature},
        {"byte changed in the image delta", [] { return make_package(with_member_byte_changed("kernel.mld")); },
         kBadSignature},
        {"byte changed in the file-system delta", [] { return make_package(with_member_byte_changed("system.mld")); },
         kBadSignature},
        {"byte changed in the pre-processing script",
         [] { return make_package(with_member_byte_changed("preprocessing.mld")); }, kBadSignature},
        {"byte changed in the post-processing script",
         [] { return make_package(with_member_byte_changed("postprocessing.mld")); }, kBadSignature},
        {"member added before the signature",
         [] {
             members laid = signed_members(marked_content());
             laid.insert(laid.end() - 1, {"uboot.mld", "added"});
             return make_package(laid);
         },
         kBadSignature},
        {"member added after the signature",
         [] {
             members laid = signed_members(marked_content());
             laid.push_back({"uboot.mld", "added"});
             return make_package(laid);
         },
         kAltered},
        {"member removed",
         [] {
             members laid = signed_members(marked_content());
             laid.erase(laid.begin() + 2);
             return make_package(laid);
         },
         kBadSignature},
        {"member renamed",
         [] {
             members laid = signed_members(marked_content());
             laid[1].first = "obm.mld";
             return make_package(laid);
         },
         kBadSignature},
        {"entry table reordered",
         [] {
             members laid = signed_members(marked_content());
             std::swap(laid[1], laid[2]);
             return make_package(laid);
         },
         kBadSignature},
        {"header count changed",
         [] {
             members laid = signed_members(marked_content());
             return make_package_with_count(laid, static_cast<int32_t>(laid.size() + 1));
         },
         kAltered},
        {"valid signature of another package attached",
         [] {
             members other = signed_members({{"kernel.mld", "another kernel delta"}});
             members laid = marked_content();
             laid.push_back(other.back());
             return make_package(laid);
         },
         kBadSignature},
        {"byte after the signature", [] { return make_signed_package(marked_content()) + "x"; }, kAltered},
    };
}

// Every file under /dev of the device: the flash partitions.
std::map<std::string, std::string> flash_of(const sim_root& root)
{
    std::map<std::string, std::string> files;
    fs::path dev = root.real("/dev");
    if (!fs::exists(dev)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dev))
        if (entry.is_regular_file())
            files[entry.path().string()] = root.read("/" + fs::relative(entry.path(), root.path()).string());
    return files;
}

class PackageTrust : public ::testing::Test {
protected:
    void register_package(const std::string& bytes)
    {
        root.write(kPackage, bytes);
        root.write(KVR_DELTA_CONF_PATH, kPackage);
        root.write(KVR_UPDATE_STATUS_PATH, "6");
    }
    std::string fatal_log() { return root.read(KVR_FATAL_LOG_PATH); }

    sim_root root;
};

TEST(PackageTrustCases, EachTamperingIsRefusedWithItsReasonBeforeAnythingRuns)
{
    for (const tampering& t : tamperings()) {
        SCOPED_TRACE(t.name);
        sim_root root;
        root.write(kPackage, t.package());
        root.write(KVR_DELTA_CONF_PATH, kPackage);
        root.write(KVR_UPDATE_STATUS_PATH, "6");
        std::map<std::string, std::string> flash_before = flash_of(root);
        run_result run = run_agent(root, {"update"}, kPass);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.restarts, 1);
        std::string log = root.read(KVR_FATAL_LOG_PATH);
        EXPECT_EQ(count_of(log, ">>> " + std::string(t.reason)), 1) << log;
        EXPECT_EQ(count_of(log, "Error: package "), 1) << log;
        EXPECT_EQ(count_of(log, "Start pre update stage."), 0) << log;
        EXPECT_FALSE(root.exists("/cache/pre_ran"));
        EXPECT_FALSE(root.exists("/cache/post_ran"));
        EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
        EXPECT_FALSE(root.exists(kPackage));
        EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "1");
        EXPECT_EQ(flash_of(root), flash_before);
    }
}

TEST_F(PackageTrust, SignedPackageRunsItsScriptsAndStages)
{
    register_package(make_signed_package(marked_content()));
    EXPECT_EQ(run_update_to_end(root, kPass), 3);
    EXPECT_TRUE(root.exists("/cache/pre_ran"));
    EXPECT_TRUE(root.exists("/cache/post_ran"));
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "0");
    EXPECT_EQ(count_of(fatal_log(), "Error: "), 0) << fatal_log();
}

// A package swapped on /cache between the recovery stage's restart and the
// resumed start is refused before the system stage; the recovery partitions
// are updated by then, so the FOTA flag tells the boot loader that the
// update has ended.
TEST_F(PackageTrust, PackageSwappedBeforeAResumedStartIsRefused)
{
    register_package(make_signed_package(marked_content()));
    run_result first = run_agent(root, {"update"}, kPass);
    ASSERT_EQ(first.restarts, 1);
    ASSERT_EQ(root.read(KVR_STAGE_PATH), "2");
    root.write(kPackage, make_package(with_member_byte_changed("postprocessing.mld")));
    std::map<std::string, std::string> flash_before = flash_of(root);
    run_result resumed = run_agent(root, {}, kPass);
    EXPECT_EQ(resumed.restarts, 1);
    std::string log = fatal_log();
    EXPECT_EQ(count_of(log, ">>> " + std::string(kBadSignature)), 1) << log;
    EXPECT_EQ(count_of(log, "Start update Normal System."), 0) << log;
    EXPECT_FALSE(root.exists("/cache/post_ran"));
    EXPECT_FALSE(root.exists(KVR_STAGE_PATH));
    EXPECT_EQ(root.read(KVR_UPDATE_STATUS_PATH), "1");
    std::string misc = root.read("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc")));
    EXPECT_EQ(misc.substr(4, 1), std::string(1, '\x02'));
    std::string misc_file = root.real("/dev/mtd/mtd" + std::to_string(root.mtd_number("misc")));
    std::map<std::string, std::string> flash_after = flash_of(root);
    flash_after.erase(misc_file);
    flash_before.erase(misc_file);
    EXPECT_EQ(flash_after, flash_before);
}

// The power goes at each file operation of a refused start in turn; the
// start after the cut resumes the update and refuses the package again,
// until a run gets through its refusal.
TEST_F(PackageTrust, PowerCutDuringTheRefusalResumesAndRefusesAgain)
{
    int cuts_after_the_check = 0;
    for (int cut = 1; cut < 40; ++cut) {
        SCOPED_TRACE("file cut " + std::to_string(cut));
        sim_root device;
        device.write(kPackage, make_signed_package(marked_content(), other_key()));
        device.write(KVR_DELTA_CONF_PATH, kPackage);
        device.write(KVR_UPDATE_STATUS_PATH, "6");
        std::vector<std::string> env = kPass;
        env.push_back("KVR_SIM_FILE_CUT=" + std::to_string(cut));
        run_agent(device, {"update"}, env);
        if (!device.exists("/sim/power_cuts")) break;
        std::string log = device.read(KVR_FATAL_LOG_PATH);
        bool checked = count_of(log, kUnknownKey) == 1;
        if (!checked || !device.exists(KVR_STAGE_PATH)) continue;
        ++cuts_after_the_check;
        EXPECT_EQ(device.read(KVR_STAGE_PATH), "9");
        run_result resumed = run_agent(device, {}, kPass);
        EXPECT_EQ(resumed.restarts, 1);
        std::string again = device.read(KVR_FATAL_LOG_PATH);
        EXPECT_EQ(count_of(again, kUnknownKey), 2) << again;
        EXPECT_EQ(count_of(again, "Start pre update stage."), 0) << again;
        EXPECT_FALSE(device.exists("/cache/pre_ran"));
        EXPECT_FALSE(device.exists(KVR_STAGE_PATH));
        EXPECT_EQ(device.read(KVR_UPDATE_STATUS_PATH), "1");
    }
    EXPECT_GT(cuts_after_the_check, 0);
}

} // namespace
