// What a run of devsim campaign left on the device: each checked partition
// on its source image, its target image or neither, and the outcome of the
// run from them, the state files and devsim run's result line.
#pragma once

#include "device_root.h"

#include <string>
#include <vector>

namespace devsim {

// A partition the campaign checks. An image partition: its flash before the
// update (the whole partition) and the new image the update must leave at
// its start, erased flash after it. A file-system partition (folder): the
// snapshots of its files before the update and of the new folder.
struct checked_partition {
    std::string name;
    std::string source;
    std::string target;
    bool folder = false;
};

enum class run_outcome {
    target_reached, // status 0, every checked partition on its target, the
                    // result flag, FOTA flag 2 in "misc" (when the device has it)
    failed_cleanly, // status 1, every checked partition on its source or target,
                    // the result flag
    not_started,    // cut before update.flg: every checked partition on its
                    // source, the package and its path kept, no update.flg
    bad,            // anything else: a mixture, a loop, an abnormal end, no cut
};

struct run_verdict {
    run_outcome outcome = run_outcome::bad;
    std::string detail; // where each partition is and how the run ended
};

// Judges the device after devsim run ended with run_status, its report in
// report_text; cut_expected tells whether the run was given a power cut.
run_verdict judge_run(const device& dev, const std::vector<checked_partition>& checked, int run_status,
                      const std::string& report_text, bool cut_expected);

} // namespace devsim
