// A folder tree as one comparable value: every entry below the folder with
// its kind, mode bits, owner and content (file bytes, link text), in path
// order. Two folders hold the same files, attributes and links exactly when
// their snapshots are equal.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace devsim {

// Nothing when the folder or an entry in it can't be read.
std::optional<std::string> folder_snapshot(const std::filesystem::path& folder);

} // namespace devsim
