// The fotapack program as its users run it.
#include "file_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

struct outcome {
    int status;
    std::string output;
};

outcome run(const std::string& args)
{
    std::string command = std::string(FOTAPACK_PROGRAM) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    outcome o{-1, {}};
    if (pipe == nullptr) return o;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.output.append(buffer, n);
    int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

TEST(CommandLine, EveryCommandHasHelp)
{
    for (const char* command : {"diff", "build", "list", "extract"}) {
        outcome o = run(std::string(command) + " --help");
        EXPECT_EQ(o.status, 0) << command;
        EXPECT_NE(o.output.find(std::string("usage: fotapack ") + command), std::string::npos) << o.output;
    }
    EXPECT_EQ(run("--help").status, 0);
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("diff onlyone").status, 2);
}

TEST(CommandLine, BuildListExtract)
{
    std::string dir = std::string(FOTAPACK_TEST_TMP) + "/cli";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/out");
    std::vector<uint8_t> old_image(50000, 0x11), new_image(60000, 0x22);
    fotapack::write_file(dir + "/old.bin", old_image);
    fotapack::write_file(dir + "/new.bin", new_image);
    std::string manifest = "kernel image old.bin new.bin\n";
    fotapack::write_file(dir + "/manifest", std::vector<uint8_t>(manifest.begin(), manifest.end()));
    ASSERT_EQ(run("build " + dir + "/manifest " + dir + "/update.pkg").status, 0);
    outcome listed = run("list " + dir + "/update.pkg");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.output.rfind("kernel.mld ", 0), 0u) << listed.output;
    ASSERT_EQ(run("extract " + dir + "/update.pkg " + dir + "/out").status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir + "/out/kernel.mld"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/out/split_file_info"));
    outcome diffed = run("diff " + dir + "/old.bin " + dir + "/new.bin " + dir + "/kernel.delta");
    EXPECT_EQ(diffed.status, 0) << diffed.output;
    EXPECT_EQ(fotapack::read_file(dir + "/kernel.delta"), fotapack::read_file(dir + "/out/kernel.mld"));
    // --fs wants folders.
    EXPECT_EQ(run("diff --fs " + dir + "/old.bin " + dir + "/new.bin " + dir + "/x").status, 1);
    std::filesystem::create_directories(dir + "/old_fs");
    std::filesystem::create_directories(dir + "/new_fs");
    fotapack::write_file(dir + "/new_fs/added", std::vector<uint8_t>{'n', 'e', 'w'});
    outcome fs_diffed = run("diff --fs " + dir + "/old_fs " + dir + "/new_fs " + dir + "/system.delta");
    EXPECT_EQ(fs_diffed.status, 0) << fs_diffed.output;
    EXPECT_NE(fs_diffed.output.find("2 file operations"), std::string::npos) << fs_diffed.output;
    EXPECT_EQ(fotapack::read_file(dir + "/system.delta").at(0), 'K');
    EXPECT_EQ(run("list " + dir + "/manifest").status, 1);
}

} // namespace
