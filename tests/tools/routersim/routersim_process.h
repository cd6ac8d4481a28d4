// The routersim program run the way scripts run it: started with its
// standard output on a pipe, read line by line, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "routersim/unique_fd.h"
#include "patience.h"

namespace routersim_test {

class RoutersimProcess {
public:
    ~RoutersimProcess();
    bool Start(std::vector<std::string> args);
    // The next line on standard output, within `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = kPatience);
    // The exit status, or nothing when it did not end within `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // The exit status after SIGTERM.
    std::optional<int> Terminate(std::chrono::milliseconds timeout = kPatience);

private:
    pid_t pid_ = -1;
    routersim::UniqueFd output_;
};

// The port at the end of a line such as "... on 127.0.0.1:18080".
uint16_t PortAtEnd(const std::string& line);

}  // namespace routersim_test
