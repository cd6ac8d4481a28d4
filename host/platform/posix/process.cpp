#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

bool RunHidden(const std::u16string& program, const std::u16string& parameters, uint32_t waitMs)
{
    std::string command = Utf16ToUtf8(program);
    if (!parameters.empty()) command += " " + Utf16ToUtf8(parameters);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char shell[] = "/bin/sh";
    char option[] = "-c";
    char* argv[] = {shell, option, command.data(), nullptr};
    // The command gets a process group of its own, so that everything it
    // started can be ended together.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = 0;
    const int started = ::posix_spawn(&child, shell, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return false;

    const bool ended = WaitOutsideFor(waitMs, [child](uint64_t realUs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(realUs);
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(child, &status, WNOHANG);
            if (done == child || done < 0) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    if (ended) return true;
    ::kill(-child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return true;
}

}  // namespace platform
