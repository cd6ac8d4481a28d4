// A simulated device root as devsim init makes it and the sim agent reads it
// (see agent/os/sim): "proc/mtd" lists the partitions, "dev/mtd/mtd<n>" is
// the flash of partition n, "sys/class/mtd/mtd<n>/writesize" and "oobsize"
// give its page and spare sizes, and a file-system partition's files live in
// "sim/yaffs2/mtd<n>", where the simulated device mounts them from. A
// file-system partition is mounted on the running device: its mount path is
// a link to that folder (absolute, as the simulated device's own mounts
// are). "cache" always exists. devsim keeps the layout the device was made
// from in "sim/layout" (without image= and folder=); the sim agent counts
// restarts and power cuts in "sim/restarts" and "sim/power_cuts".
#pragma once

#include "layout.h"

#include <filesystem>
#include <string>

namespace devsim {

struct device {
    std::filesystem::path root; // absolute
    layout partitions;          // in MTD order

    // The partition's MTD number, or -1.
    int number_of(const std::string& name) const;
    std::filesystem::path flash(int number) const;
    // The folder that holds the files of file-system partition n.
    std::filesystem::path file_system(int number) const;
    // The real path of a device path ("/cache/x" -> "<root>/cache/x").
    std::filesystem::path real(const std::string& device_path) const;
};

// Makes the device in root, which must be absent or an empty folder; image=
// and folder= paths are taken relative to source_folder. With agent_log the
// agent's switch file "/cache/kvr_fota/log_flag" is made, so that the agent
// log is written too.
device create_device(const std::filesystem::path& root, const layout& partitions,
                     const std::filesystem::path& source_folder, bool agent_log);

// A device that devsim init made in root.
device open_device(const std::filesystem::path& root);

} // namespace devsim
