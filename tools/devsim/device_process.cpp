#include "device_process.h"

#include "files.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace devsim {

namespace {

bool is_device_variable(const char* entry)
{
    return std::strncmp(entry, "KVR_FOTA_ROOT=", 14) == 0 || std::strncmp(entry, "KVR_SIM_", 8) == 0;
}

std::vector<std::string> environment_for(const device& dev, const std::vector<std::string>& extra)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (!is_device_variable(*entry)) entries.push_back(*entry);
    entries.push_back("KVR_FOTA_ROOT=" + dev.root.string());
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// RAII for the spawn attribute and file action objects.
struct spawn_setup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    spawn_setup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~spawn_setup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;
};

process_end wait_bounded(pid_t child, int time_limit_seconds)
{
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::seconds(time_limit_seconds);
    process_end end;
    int status = 0;
    struct rusage usage = {};
    while (true) {
        pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) break;
        if (done < 0 && errno != EINTR) throw error(std::string("waiting for the agent: ") + std::strerror(errno));
        if (clock::now() >= deadline && !end.timed_out) {
            end.timed_out = true;
            kill(-child, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    end.exited = WIFEXITED(status) && !end.timed_out;
    end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    end.peak_resident_kib = usage.ru_maxrss;
    return end;
}

} // namespace

process_end run_on_device(const program& prog, const device& dev, const std::vector<std::string>& args,
                          const std::vector<std::string>& extra_environment, const std::filesystem::path& output_file,
                          int time_limit_seconds)
{
    std::vector<std::string> argv_texts;
    if (!prog.emulator.empty()) argv_texts.push_back(prog.emulator);
    argv_texts.push_back(prog.path);
    argv_texts.insert(argv_texts.end(), args.begin(), args.end());
    std::vector<std::string> env_texts = environment_for(dev, extra_environment);
    std::vector<char*> argv = pointers(argv_texts);
    std::vector<char*> envp = pointers(env_texts);

    spawn_setup setup;
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    if (!output_file.empty()) {
        posix_spawn_file_actions_addopen(&setup.actions, 1, output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
    }
    pid_t child = -1;
    int failed = posix_spawnp(&child, argv[0], &setup.actions, &setup.attributes, argv.data(), envp.data());
    if (failed != 0) throw error("cannot run " + argv_texts[0] + ": " + std::strerror(failed));
    return wait_bounded(child, time_limit_seconds);
}

} // namespace devsim
