#include "thread_cpu.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace bench {
namespace {

double Seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

std::vector<pid_t> ThreadIds()
{
    std::vector<pid_t> ids;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", failed)) {
        ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return ids;
}

std::optional<CpuSeconds> ThreadCpu(pid_t thread)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    // The name in parentheses may hold spaces; the fields after it start
    // with the state (field 3), so utime and stime (14 and 15) are the
    // 12th and 13th.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string skipped;
    for (int i = 0; i < 11; ++i) fields >> skipped;
    unsigned long long user = 0;
    unsigned long long system = 0;
    if (!(fields >> user >> system)) return std::nullopt;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return CpuSeconds{static_cast<double>(user) / ticks, static_cast<double>(system) / ticks};
}

CpuSeconds ProcessCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds{Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

}  // namespace bench
