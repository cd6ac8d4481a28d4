// Starting a helper command without a window (ShellExecuteExW on Windows,
// /bin/sh elsewhere) and waiting a limited time for it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Starts `program` with `parameters`, hidden, and waits for it at most
// `waitMs` of clock time. True when it was started. Elsewhere than on
// Windows a command still running after the wait is ended, so that none is
// left behind.
bool RunHidden(const std::u16string& program, const std::u16string& parameters, uint32_t waitMs);

}  // namespace platform
