// The scenarios of the driver. Each starts flashdesk.exe, checks what a
// person would see and leaves no flashdesk process behind.
#pragma once

#include <filesystem>
#include <string>

#include "check_log.h"

namespace gui_test {

// No router: the instructions, the main window as it waits for a router,
// Return and Escape, a second instance, and closing the window.
void RunStartScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts);

// --yes against the router simulator: the whole update through the window, to its
// success message and the program's own exit.
void RunUpdateScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts);

// Against the router simulator: uboot.img deleted from the work folder, then UPDATE
// names it in a message box and starts nothing.
void RunMissingFileScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts);
// The command line: --version with --yes, and an unknown option.
void RunOptionsScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts);

}  // namespace gui_test
