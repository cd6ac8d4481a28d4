// Files for the router's checks: byte patterns, U-Boot legacy images built
// around them, checksum texts, and the generated sample firmware set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace routersim_test {

std::vector<uint8_t> Pattern(size_t size, uint8_t salt);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

// A legacy image of `data` (header CRC and data CRC set), padded with 0xFF
// up to `totalSize` bytes when that is more than header and data.
std::vector<uint8_t> LegacyImage(std::span<const uint8_t> data, size_t totalSize = 0);
// Offsets in a legacy image.
inline constexpr size_t kHeaderBytes = 64;
inline constexpr size_t kHeaderCrcAt = 4;

// The checksum file's text: the digest, two blanks and a build path, then
// the package version line.
std::vector<uint8_t> ChecksumText(std::string_view digest);

// The folder of the firmware set that the build generated.
std::filesystem::path FirmwareFolder();

}  // namespace routersim_test
