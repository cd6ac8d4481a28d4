// Runs the routersim program the way scripts do: start it, wait for its
// ready line, talk to it, stop it with SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "raw_http_client.h"
#include "routersim_process.h"

using namespace routersim_test;

namespace {


}  // namespace

TEST(RoutersimProgram, ServesUntilSigterm)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--web", "127.0.0.1:0", "--factory", "--version", "EN_PELA_BR_KR880PLUSV1.0.0B02"}));
    const auto ready = program.ReadLine(kPatience);
    ASSERT_TRUE(ready);
    ASSERT_EQ(ready->rfind("routersim web interface on 127.0.0.1:", 0), 0u) << *ready;
    const uint16_t port = PortAtEnd(*ready);
    ASSERT_NE(port, 0);

    EXPECT_EQ(PostForm(port, kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(PostForm(port, kGetVersion), "SW_VERSION:EN_PELA_BR_KR880PLUSV1.0.0B02");
    EXPECT_EQ(program.Terminate(kPatience), 0);
}

TEST(RoutersimProgram, FaultAndRefusedSwitchesFromTheCommandLine)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--web=127.0.0.1:0", "--web-fault", "lowercase", "--refuse-switches", "1"}));
    const auto ready = program.ReadLine(kPatience);
    ASSERT_TRUE(ready);
    const uint16_t port = PortAtEnd(*ready);
    EXPECT_EQ(PostForm(port, kSwitchOpen), "failed");
    EXPECT_EQ(PostForm(port, kSwitchOpen), "success");
    EXPECT_EQ(PostForm(port, kModeQuery), "factoryresult:opened");
    EXPECT_EQ(program.Terminate(kPatience), 0);
}

TEST(RoutersimProgram, UsageErrorExitsWithTwo)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--web-fault", "sometimes"}));
    EXPECT_EQ(program.Wait(kPatience), 2);
}

TEST(RoutersimProgram, HelpExitsWithZero)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--help"}));
    const auto first = program.ReadLine(kPatience);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind("usage: routersim", 0), 0u);
    EXPECT_EQ(program.Wait(kPatience), 0);
}
