// Conversions between the UTF-16 texts of the program and the byte
// encodings of the terminal and the file system.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
// Malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// The thread's ANSI code page on Windows (CP_ACP); Latin-1 elsewhere, where
// characters above U+00FF become '?'.
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace platform
