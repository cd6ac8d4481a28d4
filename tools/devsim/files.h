// Whole-file reads and writes for devsim; failures throw devsim::error.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace devsim {

// What devsim reports as "devsim: <what>" before it exits with status 1.
struct error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The bytes of a regular file, nothing when it can't be read.
std::optional<std::string> read_file(const std::filesystem::path& path);

// Creates or replaces a file with the bytes.
void write_file(const std::filesystem::path& path, const std::string& bytes);

} // namespace devsim
