// What the agent leaves on a simulated device, read back for devsim run's
// report: the state files, the restart and power-cut counters, the fatal
// log and the FOTA flag record in "misc".
#pragma once

#include "device_root.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

struct device_state {
    std::optional<std::string> stage;  // update.flg
    std::optional<std::string> status; // update_status
    long restarts = 0;                 // restarts the agent asked for so far
    long power_cuts = 0;               // power cuts the simulated flash made so far
    long flash_ops = 0;                // flash operations of the run so far
    long file_ops = 0;                 // file operations of the run so far
    uintmax_t fatal_log_size = 0;
    std::optional<std::string> misc; // the flash of "misc", when the device has it
};

device_state read_device_state(const device& dev);

// "absent" or the quoted content.
std::string describe_file(const std::optional<std::string>& content);

// True when the stored update status is the value (KVR_STATUS_...).
bool status_is(const std::optional<std::string>& status, int value);

// "0 (update finished successfully)" and the like, or "absent".
std::string describe_status(const std::optional<std::string>& status);

// The 12-byte FOTA flag record at the start of the bytes: "FOTA 2",
// "erased (0xFF)", or the bytes in hexadecimal; with_rest adds what follows
// it ("erased (0xFF) after it" or where other bytes begin).
std::string describe_flag_record(const std::string& bytes, bool with_rest);

// The fatal log's messages written after the given size (all of it when the
// log has since been emptied and begun again).
std::vector<std::string> fatal_messages_since(const device& dev, uintmax_t size);

// Files and links under the device folder, as "PATH (N bytes)" or
// "PATH -> TARGET", sorted.
std::vector<std::string> files_under(const device& dev, const std::string& device_folder);

} // namespace devsim
