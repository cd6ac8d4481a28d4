// Folder trees for the file-system engine tests: scratch folders, entries
// with modes and owners, copies, comparison, and a device made of a mount
// folder, a temporary file path and the delta between two trees.
#pragma once

#include "mem_flash.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fs_test {

// A new empty folder for one test.
std::string scratch(const std::string& name);

void put_file(const std::string& root, const std::string& path, const std::vector<uint8_t>& content,
              uint32_t mode = 0644, uint32_t uid = 0, uint32_t gid = 0);
void put_text(const std::string& root, const std::string& path, const std::string& text, uint32_t mode = 0644);
void put_folder(const std::string& root, const std::string& path, uint32_t mode = 0755);
void put_link(const std::string& root, const std::string& path, const std::string& target);

void copy_tree(const std::string& from, const std::string& to);

// Empty when both trees hold the same entries (kind, mode, owner, content);
// otherwise the first difference.
std::string tree_difference(const std::string& a, const std::string& b);

// A device whose partition is mounted at mount (a copy of the old tree);
// the temporary file lives in a folder of its own, as on /cache.
struct fs_device {
    std::string mount;
    std::string tmp;
    mem_flash flash;
    uint32_t run(bool verify) { return run_fs_engine(&flash, verify, mount.c_str(), tmp.c_str()); }
};

fs_device make_device(const std::string& old_root, const std::string& new_root, const std::string& where);

} // namespace fs_test
