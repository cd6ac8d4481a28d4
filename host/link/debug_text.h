// The link's diagnostic lines: printf-style text for the debug output and
// the session log, and the debug output itself.
#pragma once

#include <cstdio>
#include <string>

namespace devlink {

// Writes one diagnostic line (UTF-8) to the platform's debug output.
void Debug(const std::string& text);

// The text that printf would print, cut at 255 bytes.
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace devlink
