// The agent log, the fatal log and their line formats and size limit.
#include "agent_test_support.h"

#include "log.h"
#include "os.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace agent_test;

namespace {

const std::regex kFatalLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} - TestBody\[\d+\] >>> hello 42\n)");
const std::regex kAgentLine(
    R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} - tests/agent/log_test\.cpp - TestBody\[\d+\] >>> hello 42\n)");

class Logs : public ::testing::Test {
protected:
    void TearDown() override { detach(); }
    sim_root root;
};

TEST_F(Logs, AgentLogIsOffWithoutSwitchFile)
{
    attach(root);
    EXPECT_EQ(g_kvr_log, nullptr);
    KVR_LOG("hello %d\n", 42);
    KVR_FATAL("hello %d\n", 42);
    EXPECT_FALSE(root.exists(KVR_LOG_PATH));
    EXPECT_TRUE(std::regex_match(root.read(KVR_FATAL_LOG_PATH), kFatalLine));
}

TEST_F(Logs, LineFormats)
{
    root.write(KVR_LOG_FLAG_PATH, "");
    attach(root);
    ASSERT_NE(g_kvr_log, nullptr);
    KVR_LOG("hello %d\n", 42);
    std::fflush(g_kvr_log->fp);
    EXPECT_TRUE(std::regex_match(root.read(KVR_LOG_PATH), kAgentLine)) << root.read(KVR_LOG_PATH);
    KVR_FATAL("hello %d\n", 42);
    EXPECT_TRUE(std::regex_match(root.read(KVR_FATAL_LOG_PATH), kFatalLine)) << root.read(KVR_FATAL_LOG_PATH);
}

TEST_F(Logs, FatalLogIsOnDiskAfterEachLine)
{
    attach(root);
    KVR_FATAL("first\n");
    EXPECT_EQ(count_of(root.read(KVR_FATAL_LOG_PATH), ">>> first\n"), 1);
    KVR_FATAL("second\n");
    EXPECT_EQ(count_of(root.read(KVR_FATAL_LOG_PATH), ">>> second\n"), 1);
}

TEST_F(Logs, LogsAppendAcrossOpens)
{
    root.write(KVR_FATAL_LOG_PATH, "earlier\n");
    attach(root);
    KVR_FATAL("later\n");
    std::string text = root.read(KVR_FATAL_LOG_PATH);
    EXPECT_EQ(text.rfind("earlier\n", 0), 0u);
    EXPECT_EQ(count_of(text, ">>> later\n"), 1);
}

TEST_F(Logs, MessageIsCutAt127Characters)
{
    root.write(KVR_LOG_FLAG_PATH, "");
    attach(root);
    std::string message(200, 'm');
    KVR_FATAL("%s", message.c_str());
    KVR_LOG("%s", message.c_str());
    std::fflush(g_kvr_log->fp);
    for (const char* path : {KVR_FATAL_LOG_PATH, KVR_LOG_PATH}) {
        std::string text = root.read(path);
        size_t at = text.find(">>> ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(text.substr(at + 4), std::string(127, 'm')) << path;
    }
}

TEST_F(Logs, FatalLineIsLimitedTo255Characters)
{
    attach(root);
    std::string message(127, 'm');
    kvr_fatal_log_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, 1, std::string(200, 'f').c_str(), "%s",
                               message.c_str());
    EXPECT_EQ(root.read(KVR_FATAL_LOG_PATH).size(), 255u);
}

TEST_F(Logs, FatalLogAbove512KiBIsEmptiedFirst)
{
    root.write(KVR_FATAL_LOG_PATH, std::string(600 * 1024, 'x'));
    attach(root);
    KVR_FATAL("after\n");
    std::string text = root.read(KVR_FATAL_LOG_PATH);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(count_of(text, ">>> after\n"), 1);
    EXPECT_LT(text.size(), 100u);
}

TEST_F(Logs, FatalLogOfExactly512KiBIsKept)
{
    root.write(KVR_FATAL_LOG_PATH, std::string(0x80000, 'x'));
    attach(root);
    KVR_FATAL("after\n");
    std::string text = root.read(KVR_FATAL_LOG_PATH);
    EXPECT_EQ(text.substr(0, 0x80000), std::string(0x80000, 'x'));
    EXPECT_EQ(count_of(text, ">>> after\n"), 1);
    KVR_FATAL("again\n");
    text = root.read(KVR_FATAL_LOG_PATH);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(count_of(text, ">>> again\n"), 1);
}

TEST_F(Logs, FatalLogOpensOnDemandAndClosesCleanly)
{
    attach(root);
    kvr_close_message_file(&g_kvr_fatal_log);
    EXPECT_EQ(g_kvr_fatal_log, nullptr);
    kvr_close_message_file(&g_kvr_fatal_log);
    ::testing::internal::CaptureStderr();
    KVR_FATAL("reopened\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "kvr_fatal_log_message_file, need open log file first..\n");
    EXPECT_NE(g_kvr_fatal_log, nullptr);
    EXPECT_EQ(count_of(root.read(KVR_FATAL_LOG_PATH), ">>> reopened\n"), 1);
}

TEST_F(Logs, OpenFailuresAndIllegalInputGoToStandardError)
{
    attach(root);
    kvr_log_file* holder = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kvr_open_fatal_message_file(&holder, "/absent/folder/log", 1), -1);
    EXPECT_EQ(kvr_open_fatal_message_file(nullptr, KVR_FATAL_LOG_PATH, 1), -1);
    kvr_fatal_log_message_file(&holder, nullptr, 1, "f", "x");
    EXPECT_EQ(kvr_get_file_size(nullptr), -1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\033[47;34mkvr_open_fatal_message_file:\033[0mfile open: No such file or directory\n"),
              std::string::npos);
    EXPECT_NE(err.find("\033[47;34mkvr_open_fatal_message_file:\033[0minput is illegal"), std::string::npos);
    EXPECT_NE(err.find("kvr_fatal_log_message_file, Input para is illegal.\n"), std::string::npos);
    EXPECT_NE(err.find("All input parameter is illegal.\n"), std::string::npos);
    EXPECT_EQ(holder, nullptr);
}

} // namespace
