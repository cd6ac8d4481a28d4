// Reading one key of an INI file's section, as the system's profile-string
// reader does (GetPrivateProfileStringW on Windows). Elsewhere an own reader
// gives the same outcome: sections and keys match without regard to case,
// blanks around "=" and around the value are ignored, a value's outermost
// pair of matching quotes is removed, the first of duplicate keys counts,
// lines starting with ";" are comments.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The own reader over a file's bytes (UTF-16 with a byte-order mark, UTF-8
// with or without one, or ANSI); empty when the key is not there.
std::optional<std::u16string> ParseProfileString(std::span<const uint8_t> file, std::u16string_view section, std::u16string_view key);

// The text of `key`, or `fallback` when the file or the key is missing; at
// most `bufferChars` - 1 characters, as a buffer of that size holds.
std::u16string ReadProfileString(const std::u16string& path, const std::u16string& section, const std::u16string& key,
                                 const std::u16string& fallback, size_t bufferChars);

}  // namespace platform
