// A program of the sim agent run as a process on a simulated device.
#pragma once

#include "device_root.h"

#include <filesystem>
#include <string>
#include <vector>

namespace devsim {

// The program and, for a foreign build, the emulator that runs it.
struct program {
    std::string path;
    std::string emulator;
};

struct process_end {
    bool exited = false; // else ended by a signal or by the time limit
    int status = 0;      // the exit status, when exited
    int signal = 0;      // the signal that ended it, when not exited
    bool timed_out = false;
    long peak_resident_kib = 0; // of the process (of the emulator, for a foreign build)
};

// A start runs at most this long, unless told otherwise; then its process
// group is killed.
constexpr int kStartTimeLimitSeconds = 600;

// Runs the program with the arguments. Its environment is devsim's own
// without KVR_FOTA_ROOT and every KVR_SIM_ variable, plus
// KVR_FOTA_ROOT=<root> and the extra entries. Its standard output and error
// are appended to output_file, or shared with devsim when that is empty.
// Throws devsim::error when it can't be started.
process_end run_on_device(const program& prog, const device& dev, const std::vector<std::string>& args,
                          const std::vector<std::string>& extra_environment, const std::filesystem::path& output_file,
                          int time_limit_seconds = kStartTimeLimitSeconds);

} // namespace devsim
