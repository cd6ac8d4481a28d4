// A folder tree as a file-system delta sees it: every entry below the root
// by relative path (sorted), with its kind, mode, owner and content.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fotapack {

enum class entry_kind { folder, file, link };

struct fs_entry {
    entry_kind kind;
    uint32_t mode; // st_mode, type bits included
    uint32_t uid;
    uint32_t gid;
    std::vector<uint8_t> content; // file bytes, or link text
};

using fs_tree = std::map<std::string, fs_entry>;

// Throws std::runtime_error naming the path for an unreadable entry or one
// that is neither a folder, a regular file nor a symbolic link.
fs_tree read_tree(const std::string& root);

} // namespace fotapack
