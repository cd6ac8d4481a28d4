#include "routersim_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <thread>

namespace bench {
namespace {

constexpr auto kStopLimit = std::chrono::seconds(3);

// Whether the child ended within `limit`; it is reaped if so.
bool Reaped(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (waitpid(pid, nullptr, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

RoutersimChild::~RoutersimChild() { Stop(); }

bool RoutersimChild::Start(const std::string& program, std::vector<std::string> args, const std::string& errorLog)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    const int error = open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_t pid = error < 0 ? -1 : fork();
    if (pid == 0) {
        // The simulator ends with this program, however this program ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        dup2(error, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (error >= 0) close(error);
    close(out[1]);
    output_ = out[0];
    pid_ = pid;
    return pid > 0;
}

std::optional<uint16_t> RoutersimChild::PortOfLine(std::string_view prefix, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable{output_, POLLIN, 0};
        if (poll(&readable, 1, 50) <= 0) continue;
        char c = 0;
        if (read(output_, &c, 1) != 1) return std::nullopt;
        if (c != '\n') {
            line.push_back(c);
            continue;
        }
        const size_t colon = line.rfind(':');
        uint16_t port = 0;
        if (line.starts_with(prefix) && colon != std::string::npos &&
            std::from_chars(line.data() + colon + 1, line.data() + line.size(), port).ec == std::errc()) {
            return port;
        }
        line.clear();
    }
    return std::nullopt;
}

void RoutersimChild::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!Reaped(pid_, kStopLimit)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    if (output_ >= 0) close(output_);
    output_ = -1;
}

}  // namespace bench
