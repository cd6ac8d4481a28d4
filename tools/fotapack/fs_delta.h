// One file-system delta from an old and a new folder: read both trees, plan
// the operations, write them (agent/engine/delta_format.h) with each file's
// content packed into LZMA2 frames.
#pragma once

#include "fs_tree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

struct fs_delta_stats {
    uint32_t operations = 0;
    uint32_t frames = 0;
};

std::vector<uint8_t> make_fs_delta(const fs_tree& old_tree, const fs_tree& new_tree, fs_delta_stats* stats);
std::vector<uint8_t> make_fs_delta(const std::string& old_root, const std::string& new_root, fs_delta_stats* stats);

} // namespace fotapack
