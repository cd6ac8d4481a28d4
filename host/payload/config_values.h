// The value forms of download.xml: integers read like wcstol and wcstoul,
// and lists split with their empty pieces kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

// Leading white space, an optional sign and decimal digits, up to the first
// other character; 0 when there are no digits. Values beyond 32 bits clamp
// to the nearest 32-bit limit, as a 32-bit long does.
int32_t ParseInteger(std::u16string_view text);
// The same with hexadecimal digits after an optional "0x" or "0X"; a value
// beyond 32 bits gives 0xFFFFFFFF, a minus sign negates.
uint32_t ParseHex(std::u16string_view text);
// The low 8 bits of ParseInteger.
uint8_t ParseByte(std::u16string_view text);

// Splits at every `separator`: n separators always give n + 1 pieces.
std::vector<std::u16string> SplitKeepingEmpty(std::u16string_view text, char16_t separator);
// Removes leading and trailing space characters (U+0020 only).
std::u16string TrimSpaces(std::u16string_view text);

}  // namespace payload
