// Registered character-set names and the Windows code pages they stand for.
#pragma once

#include <cstdint>
#include <string_view>

namespace payload {

inline constexpr uint32_t kCodePageUtf8 = 65001;
inline constexpr uint32_t kCodePageUtf16Le = 1200;
inline constexpr uint32_t kCodePageUtf16Be = 1201;

// The code page of a character-set name, compared without regard to case;
// 0 for a name that is not in the table (the ANSI code page is used then).
uint32_t CodePageOf(std::u16string_view name);

}  // namespace payload
