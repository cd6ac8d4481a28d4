// Whole files in and out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

// Throw std::runtime_error naming the path on failure.
std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& data);

} // namespace fotapack
