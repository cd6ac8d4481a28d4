// CPU time of single threads of this process, from /proc/self/task.
#pragma once

#include <sys/types.h>

#include <optional>
#include <vector>

namespace bench {

// The ids of this process's threads, in no particular order.
std::vector<pid_t> ThreadIds();

struct CpuSeconds {
    double user = 0;
    double system = 0;
};

// Nothing when the thread is gone.
std::optional<CpuSeconds> ThreadCpu(pid_t thread);
// The whole process, from getrusage.
CpuSeconds ProcessCpu();

}  // namespace bench
