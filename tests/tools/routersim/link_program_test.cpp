// Runs the routersim program with its link side the way scripts do: start
// it, read its ready lines, announce a host, exchange blocks, stop it with
// SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link_host_standin.h"

extern char** environ;

using namespace routersim_test;

namespace {

class LinkProgram {
public:
    ~LinkProgram()
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

    // The next line on standard output, within `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = 5s)
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

    // The exit status, or nothing when it did not end within `timeout`.
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

    std::optional<int> Terminate()
    {
        kill(pid_, SIGTERM);
        return Wait(3s);
    }

private:
    pid_t pid_ = -1;
    routersim::UniqueFd output_;
};

uint16_t PortAtEnd(const std::string& line)
{
    return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
}

}  // namespace

TEST(LinkProgram, ConnectsOnAnnouncementServesAndStopsOnSigterm)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("routersim-link-program-" + std::to_string(getpid())) / "files";
    std::filesystem::remove_all(folder.parent_path());
    LinkProgram program;
    ASSERT_TRUE(program.Start({"--web", "127.0.0.1:0", "--announce-listen", "127.0.0.1:0", "--factory", "--version", "EN_TEST_V1",
                               "--files", folder.string(), "--link-fault", "refuse:0x97"}));
    const auto web = program.ReadLine();
    ASSERT_TRUE(web);
    EXPECT_EQ(web->rfind("routersim web interface on 127.0.0.1:", 0), 0u) << *web;
    const auto listening = program.ReadLine();
    ASSERT_TRUE(listening);
    ASSERT_EQ(listening->rfind("routersim link listening for announcements on 127.0.0.1:", 0), 0u) << *listening;

    HostStandIn host;
    ASSERT_TRUE(host.Announce(PortAtEnd(*listening)));
    ASSERT_TRUE(host.Accept());
    EXPECT_EQ(program.ReadLine(), "routersim link connected to 127.0.0.1:" + std::to_string(host.Port()));

    const auto query = host.Ask(RequestBlock(0x61, 2));
    ASSERT_TRUE(query);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(query->data() + 9)), "EN_TEST_V1");
    const auto refused = host.Ask(RequestBlock(0x97, 3));
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)[0], 0xFF);

    const std::vector<uint8_t> image(3000, 0x3C);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 4, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(image));
    const auto result = host.Receive();
    ASSERT_TRUE(result);
    EXPECT_EQ((*result)[0], 0x01);
    EXPECT_EQ(std::filesystem::file_size(folder / "1-linux-image.bin"), image.size());

    EXPECT_EQ(program.Terminate(), 0);
    EXPECT_TRUE(host.WaitClosed(1s));
    std::filesystem::remove_all(folder.parent_path());
}

TEST(LinkProgram, NonLoopbackAnnounceAddressIsAUsageError)
{
    LinkProgram program;
    ASSERT_TRUE(program.Start({"--announce-listen", "0.0.0.0:3536"}));
    EXPECT_EQ(program.Wait(3s), 2);
}

TEST(LinkProgram, BadLinkFaultIsAUsageError)
{
    LinkProgram program;
    ASSERT_TRUE(program.Start({"--link-fault", "refuse:300"}));
    EXPECT_EQ(program.Wait(3s), 2);
}
