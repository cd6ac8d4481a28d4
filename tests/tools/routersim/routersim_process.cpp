#include "routersim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../../host/support/poll_until.h"

extern char** environ;

namespace routersim_test {

RoutersimProcess::~RoutersimProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool RoutersimProcess::Start(std::vector<std::string> args)
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

std::optional<std::string> RoutersimProcess::ReadLine(std::chrono::milliseconds timeout)
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

std::optional<int> RoutersimProcess::Wait(std::chrono::milliseconds timeout)
{
    int status = 0;
    if (!testing_support::PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<int> RoutersimProcess::Terminate(std::chrono::milliseconds timeout)
{
    kill(pid_, SIGTERM);
    return Wait(timeout);
}

uint16_t PortAtEnd(const std::string& line) { return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1))); }

}  // namespace routersim_test
