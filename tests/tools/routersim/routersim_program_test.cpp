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

extern char** environ;

using namespace routersim_test;

namespace {

class Program {
public:
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool Start(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0) return false;
        args.insert(args.begin(), ROUTERSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_.Reset(out[0]);
        if (spawned != 0) pid_ = -1;
        return spawned == 0;
    }

    // The first line on standard output, within `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string line;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd readable{output_.Get(), POLLIN, 0};
            if (poll(&readable, 1, 50) <= 0) continue;
            char c = 0;
            if (read(output_.Get(), &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line.push_back(c);
        }
        return std::nullopt;
    }

    // The exit status after SIGTERM, or nothing when it did not end in time.
    std::optional<int> Terminate(std::chrono::milliseconds timeout)
    {
        kill(pid_, SIGTERM);
        return Wait(timeout);
    }

    std::optional<int> Wait(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    routersim::UniqueFd output_;
};

uint16_t PortFromReadyLine(const std::string& line)
{
    return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
}

}  // namespace

TEST(RoutersimProgram, ServesUntilSigterm)
{
    Program program;
    ASSERT_TRUE(program.Start({"--web", "127.0.0.1:0", "--factory", "--version", "EN_PELA_BR_KR880PLUSV1.0.0B02"}));
    const auto ready = program.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(ready);
    ASSERT_EQ(ready->rfind("routersim web interface on 127.0.0.1:", 0), 0u) << *ready;
    const uint16_t port = PortFromReadyLine(*ready);
    ASSERT_NE(port, 0);

    EXPECT_EQ(PostForm(port, kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(PostForm(port, kGetVersion), "SW_VERSION:EN_PELA_BR_KR880PLUSV1.0.0B02");
    EXPECT_EQ(program.Terminate(std::chrono::seconds(3)), 0);
}

TEST(RoutersimProgram, FaultAndRefusedSwitchesFromTheCommandLine)
{
    Program program;
    ASSERT_TRUE(program.Start({"--web=127.0.0.1:0", "--web-fault", "lowercase", "--refuse-switches", "1"}));
    const auto ready = program.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(ready);
    const uint16_t port = PortFromReadyLine(*ready);
    EXPECT_EQ(PostForm(port, kSwitchOpen), "failed");
    EXPECT_EQ(PostForm(port, kSwitchOpen), "success");
    EXPECT_EQ(PostForm(port, kModeQuery), "factoryresult:opened");
    EXPECT_EQ(program.Terminate(std::chrono::seconds(3)), 0);
}

TEST(RoutersimProgram, UsageErrorExitsWithTwo)
{
    Program program;
    ASSERT_TRUE(program.Start({"--web-fault", "sometimes"}));
    EXPECT_EQ(program.Wait(std::chrono::seconds(3)), 2);
}

TEST(RoutersimProgram, HelpExitsWithZero)
{
    Program program;
    ASSERT_TRUE(program.Start({"--help"}));
    const auto first = program.ReadLine(std::chrono::seconds(3));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind("usage: routersim", 0), 0u);
    EXPECT_EQ(program.Wait(std::chrono::seconds(3)), 0);
}
