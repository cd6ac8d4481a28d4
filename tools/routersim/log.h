// One line on standard error per event, prefixed with the program's name.
// Lines from different threads never interleave.
#pragma once

#include <string_view>

namespace routersim {

void LogLine(std::string_view text);

}  // namespace routersim
