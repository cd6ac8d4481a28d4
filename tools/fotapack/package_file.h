// The update package (its container in agent/layout/package_format.h),
// written with the 8 reserved header bytes as zero and the members in table
// order, no gaps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

struct package_member {
    std::string name;
    std::vector<uint8_t> data;
};

struct package_entry {
    std::string name;
    uint32_t length;
    uint32_t offset;
};

std::vector<uint8_t> write_package(const std::vector<package_member>& members);
// The entry table; throws std::runtime_error when the package is malformed
// (bad magic, table or member beyond the end).
std::vector<package_entry> read_package_entries(const std::vector<uint8_t>& package);
// Writes every member to DIR/name and the index DIR/split_file_info
// ("%s %d" per member, nothing between records).
void extract_package(const std::vector<uint8_t>& package, const std::string& dir);

} // namespace fotapack
