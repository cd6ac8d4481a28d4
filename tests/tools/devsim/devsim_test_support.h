// devsim run as a process in temporary folders, as a user runs it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace devsim_test {

// A fresh folder under the test's build folder, removed at the end.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct devsim_result {
    int status = -1; // exit status, -1 when devsim didn't exit normally
    std::string out;
    std::string err;
};

// Runs devsim with the arguments. Its environment is the test's own without
// KVR_STANDIN_ENGINE and KVR_SIM_ variables, plus the given entries.
devsim_result run_devsim(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

std::string read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, const std::string& bytes);

// The lines of devsim run's report for one start ("start 2:" up to the next
// start or the summary), or of the summary ("summary:" to the end).
std::string report_section(const std::string& out, const std::string& header);

// The "  log: " lines of a report section, without that prefix.
std::vector<std::string> logged_messages(const std::string& section);

// The flash of each partition of a device root, "dev/mtd/mtd<n>" by n.
std::vector<std::string> all_flash(const std::filesystem::path& root);

} // namespace devsim_test
