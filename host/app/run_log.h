// The run log of a download: the time prefix of its lines, the file stamp of
// its file name, and the file's serialised form of one UTF-16 text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/local_time.h"

namespace app {

// "HH:MM:SS:" with every blank of "%2d:%2d:%2d:" turned into "0".
std::u16string LogTimePrefix(const platform::LocalTime& time);
// "YYYYMMDDhhmm" with every blank of "%4d%2d%2d%2d%2d" turned into "0".
std::u16string LogFileStamp(const platform::LocalTime& time);
// FF, FE FF, the length (1, 3 or 7 bytes), then the UTF-16LE characters.
std::vector<uint8_t> SerializeLogText(const std::u16string& text);

}  // namespace app
