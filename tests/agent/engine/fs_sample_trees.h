// Old and new folder trees for the file-system engine tests.
#pragma once

#include <string>

namespace fs_test {

// Every kind of change: new, changed, removed and renamed files, new and
// removed folders, new, changed and removed links, modes and owners, empty
// files, a deep new path.
void make_mixed_trees(const std::string& old_root, const std::string& new_root);

// Paths that change kind: file to folder, folder to file, link to file,
// file to link, folder to link.
void make_kind_change_trees(const std::string& old_root, const std::string& new_root);

} // namespace fs_test
