// The operations that turn one folder tree into another, in the order the
// engine runs them so that every operation can be repeated after a cut:
//   1. remove files and links that are gone or change kind (but not the
//      sources of renames)
//   2. remove folders that change kind, and the folders below them
//   3. make new folders, parents first
//   4. renames: a file gone from one path whose exact content appears at a
//      new path
//   5. changed files, 6. new files, 7. new and changed links
//   8. remove the folders that are gone, children first
//   9. attributes of new entries and of those whose mode or owner changed
// Each path is written by one operation at most, so a result, once there,
// is never changed by a later operation.
#pragma once

#include "fs_tree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

struct fs_plan_op {
    uint32_t type; // kvr_fs_op_type
    std::string path;
    std::string extra;                            // old path, link text or attribute text
    const std::vector<uint8_t>* source = nullptr; // a changed file's old content
    const std::vector<uint8_t>* target = nullptr; // new content; for a removal, the
                                                  // content a later operation puts there
};

std::vector<fs_plan_op> plan_fs(const fs_tree& old_tree, const fs_tree& new_tree);

// "_engine_%06o:%04x:%04x" of an entry; throws when the owner does not fit.
std::string attribute_text(const fs_entry& entry);

} // namespace fotapack
