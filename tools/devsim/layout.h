// The partition layout of a simulated device, as a text file with one
// partition per line, in MTD order (the first line is mtd0):
//
//   NAME SIZE ERASESIZE WRITESIZE [oob=N] [image=FILE] [mount=PATH [folder=DIR]]
//
// Blank lines and lines whose first non-blank character is '#' are ignored.
// NAME: 1 to 31 of the characters A-Z a-z 0-9 _ . -, unique.
// Numbers: decimal or 0x-hexadecimal, optionally followed by K or M (KiB,
// MiB). WRITESIZE (the page) is a power of two up to 64K, ERASESIZE a
// multiple of it, SIZE a multiple of ERASESIZE of at most 256M; all
// partitions together at most 1G. oob (spare bytes per page) defaults to 64,
// at most 4096.
// image=FILE: the partition's flash starts with the bytes of FILE (a path
// relative to the layout file's folder), erased (0xFF) after them.
// mount=PATH: a file-system partition, mounted at the device folder PATH
// (absolute, components of the name characters, not under /proc, /dev, /sys
// or /sim, not inside another partition's PATH); folder=DIR: its files are
// copied from the host folder DIR (relative like FILE). image= and mount=
// exclude each other. At most 32 partitions; a line holds at most 4096
// characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

struct layout_partition {
    std::string name;
    uint32_t size = 0;
    uint32_t erasesize = 0;
    uint32_t writesize = 0;
    uint32_t oobsize = 64;
    std::string image;
    std::string mount;
    std::string folder;

    bool operator==(const layout_partition&) const = default;
};

using layout = std::vector<layout_partition>;

// Reads a layout text; false with "line N: what" in error when it breaks a
// rule above (or "no partitions" when it names none).
bool parse_layout(std::string_view text, layout& out, std::string& error);

// The text of a layout that parse_layout reads back equal.
std::string format_layout(const layout& partitions);

} // namespace devsim
