// Copies of each run's logs outside the work folder, which is deleted when
// the window closes: one folder per run, named after its start so that the
// names sort by age, the newest kKeptRuns kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/local_time.h"

namespace app {

inline constexpr size_t kKeptRuns = 10;

struct KeptFile {
    std::u16string name;    // the copy's name in the run's folder
    std::u16string source;  // the file to copy
};

// "YYYYMMDD-hhmmss".
std::u16string KeptRunStamp(const platform::LocalTime& time);

// Makes the run's folder under `root` ("<stamp>-NNN", the first free
// number), creating `root` as needed, and removes the oldest runs so that
// kKeptRuns remain with the new one. Empty when it cannot be made.
std::u16string NewKeptRunFolder(const std::u16string& root, const std::u16string& stamp);

// Copies every file that exists into `folder` and writes the diagnostic
// lines as "diagnostics.txt"; false when a copy could not be written.
bool FillKeptRunFolder(const std::u16string& folder, const std::vector<KeptFile>& files, const std::string& diagnostics);

}  // namespace app
