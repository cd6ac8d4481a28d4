// devsim's command lines: every command documents itself, and a bad
// command line is a usage error (exit status 2) that changes nothing.
#include "devsim_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace devsim_test;

namespace {

namespace fs = std::filesystem;

TEST(DevsimCommandLine, EveryCommandDocumentsItself)
{
    devsim_result top = run_devsim({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_EQ(top.out.rfind("usage: devsim init ROOT", 0), 0u) << top.out;
    for (const char* command : {"init", "register", "run", "dump"}) {
        devsim_result help = run_devsim({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: devsim ") + command + " ROOT", 0), 0u) << help.out;
    }
    std::string run_help = run_devsim({"run", "--help"}).out;
    for (const char* variable :
         {"KVR_SIM_POWER_CUT=N", "KVR_SIM_FILE_CUT=N", "KVR_SIM_POWER_CUT_SCOPE=device", "KVR_SIM_FAIL_ERASE=N",
          "KVR_SIM_FAIL_WRITE=N", "KVR_STANDIN_ENGINE"})
        EXPECT_NE(run_help.find(variable), std::string::npos) << variable;
    std::string init_help = run_devsim({"init", "-h"}).out;
    EXPECT_NE(init_help.find("NAME SIZE ERASESIZE WRITESIZE [oob=N] [image=FILE] [mount=PATH [folder=DIR]]"),
              std::string::npos);
    EXPECT_NE(init_help.find("\ncache 0x40000 0x20000 2048 oob=64 mount=/cache\n"), std::string::npos) << init_help;
}

TEST(DevsimCommandLine, BadCommandLinesAreUsageErrors)
{
    temp_folder folder;
    std::string root = (folder / "root").string();
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate", root},
        {"init"},
        {"init", root, "extra"},
        {"init", root, "--layout"},
        {"init", root, "--agent-log", "--agent-log"},
        {"init", root, "--colour", "red"},
        {"register", root},
        {"register", root, "a.pkg", "--register"},
        {"run"},
        {"run", root, "--power-cut", "0"},
        {"run", root, "--power-cut", "three"},
        {"run", root, "--fail-erase", "-1"},
        {"run", root, "--fail-write", "99999999999"},
        {"run", root, "--power-cut", "1", "--power-cut", "2"},
        {"dump", root, "kernel"},
        {"dump", root, "kernel", "out", "more"},
    };
    for (const std::vector<std::string>& args : bad) {
        devsim_result result = run_devsim(args);
        std::string shown = args.empty() ? "(none)" : args[0] + " ...";
        EXPECT_EQ(result.status, 2) << shown << "\n" << result.out << result.err;
        EXPECT_NE(result.err.find("usage: devsim"), std::string::npos) << shown << "\n" << result.err;
        EXPECT_EQ(result.out, "") << shown;
    }
    EXPECT_FALSE(fs::exists(root));
}

TEST(DevsimCommandLine, RunRefusesAFolderThatIsNotADevice)
{
    temp_folder folder;
    devsim_result result = run_devsim({"run", folder.path().string()}, {"KVR_STANDIN_ENGINE=pass"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("is not a simulated device made by devsim init"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(folder / "cache"));
}

} // namespace
