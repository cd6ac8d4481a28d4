#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "../../support/poll_until.h"

extern char** environ;

namespace busybox_peer {
namespace {

constexpr auto kGracePeriod = std::chrono::milliseconds(2000);
constexpr auto kPollStep = std::chrono::milliseconds(10);
// More processes than a program of the tests ever forks at once.
constexpr int kMostForked = 10000;

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment, const std::string& logPath)
{
    if (pid_ > 0 || argv.empty()) return false;
    // Everything the child needs is made before fork: after it, the child
    // calls only async-signal-safe functions.
    std::vector<std::string> args = argv;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(environment);

    // What the program forks and leaves behind passes to this process when
    // the program ends, so that Stop() can wait until every one has died.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "busybox_peer: fork: %s\n", std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        const int input = open("/dev/null", O_RDONLY);
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (input < 0 || log < 0) _exit(126);
        dup2(input, STDIN_FILENO);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execve(argPointers[0], argPointers.data(), envPointers.data());
        _exit(127);
    }
    setpgid(pid, pid);
    pid_ = pid;
    return true;
}

bool ChildProcess::Running() const
{
    return pid_ > 0 && !Exited();
}

// Looks without reaping: while the program is not reaped its process id,
// and with it the group id, cannot pass to another process.
bool ChildProcess::Exited() const
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid_;
}

void ChildProcess::Stop()
{
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    testing_support::PollUntil(std::chrono::steady_clock::now() + kGracePeriod, [this] { return Exited(); }, kPollStep);
    // Ends the program if it is still running and whatever it forked.
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    // What it forked is this process's child now (see Start): once each has
    // died too, none holds the program's sockets (httpd's forks hold its
    // listening socket) any more.
    for (int reaped = 0; reaped < kMostForked && waitpid(-pid_, nullptr, 0) > 0; ++reaped) {
    }
    pid_ = -1;
}

}  // namespace busybox_peer
