// Diagnostic lines for a debugger (OutputDebugStringW on Windows; standard
// error when FLASHDESK_DEBUG is set elsewhere). They carry no behaviour; the
// diagnostic journal keeps them for the run's kept logs.
#pragma once

#include <string_view>

namespace platform {

void DebugOutput(std::u16string_view line);

}  // namespace platform
