// A program the peer starts in a process group of its own, so that stopping
// it also ends every process it forked.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace busybox_peer {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs argv[0] with `argv`, the current environment plus `extraEnvironment`
    // ("NAME=value" entries), standard input from /dev/null and standard
    // output and error appended to `logPath`.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment, const std::string& logPath);
    // False once the program has ended.
    bool Running() const;
    // Sends SIGTERM to the group, SIGKILL after a grace period, and reaps.
    void Stop();

private:
    bool Exited() const;

    pid_t pid_ = -1;
};

}  // namespace busybox_peer
