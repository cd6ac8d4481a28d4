// Conversions between the UTF-16 texts of the program and the byte
// encodings of the terminal and the file system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
// Malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// True when every byte belongs to a well-formed sequence.
bool IsValidUtf8(std::string_view text);

inline constexpr uint32_t kAnsiCodePage = 0;

// Conversions through a Windows code page number: MultiByteToWideChar and
// WideCharToMultiByte on Windows, iconv elsewhere. The ANSI code page is the
// thread's (CP_ACP) on Windows and Latin-1 elsewhere, where characters above
// U+00FF become '?'. A code page the system cannot convert is treated as the
// ANSI code page.
std::u16string CodePageToUtf16(uint32_t codePage, std::string_view text);
std::string Utf16ToCodePage(uint32_t codePage, std::u16string_view text);

inline std::u16string AnsiToUtf16(std::string_view text) { return CodePageToUtf16(kAnsiCodePage, text); }
inline std::string Utf16ToAnsi(std::u16string_view text) { return Utf16ToCodePage(kAnsiCodePage, text); }

}  // namespace platform
