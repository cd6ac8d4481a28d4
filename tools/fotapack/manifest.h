// The build manifest: plain text, one item a line, '#' starts a comment.
//   NAME KIND OLD NEW    a partition: its name in the partition tables, its
//                        kind (image or fs), the old and new image (or folder)
//   pre PATH             the pre-processing script
//   post PATH            the post-processing script
//   block-size BYTES     the erase-block size (default 131072)
// Relative paths are taken from the manifest's folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

struct manifest_partition {
    std::string name;
    bool file_system;
    std::string old_path;
    std::string new_path;
};

struct manifest {
    std::vector<manifest_partition> partitions;
    std::string pre_script;
    std::string post_script;
    uint32_t block_size;
};

// Throws std::runtime_error naming the line on a malformed line.
manifest parse_manifest(const std::string& text, const std::string& base_dir);

} // namespace fotapack
