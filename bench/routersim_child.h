// The routersim program as a child process: its standard output on a pipe,
// read for the addresses it prints, its standard error in a file, stopped
// with SIGTERM (SIGKILL when it does not end in time) and killed by the
// system if this program ends first.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

class RoutersimChild {
public:
    RoutersimChild() = default;
    ~RoutersimChild();
    RoutersimChild(const RoutersimChild&) = delete;
    RoutersimChild& operator=(const RoutersimChild&) = delete;

    bool Start(const std::string& program, std::vector<std::string> args, const std::string& errorLog);
    // The port at the end of the next output line that begins with `prefix`,
    // such as "routersim link listening for announcements on 127.0.0.1:41234";
    // nothing when no such line came within `limit`.
    std::optional<uint16_t> PortOfLine(std::string_view prefix, std::chrono::milliseconds limit);
    void Stop();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

}  // namespace bench
