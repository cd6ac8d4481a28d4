// The process's command line as the portable option parser takes it.
#pragma once

#include <string>
#include <vector>

namespace app::winui {

// The arguments after the program name, each in UTF-8.
std::vector<std::string> ProcessArguments();

// The program's file name without folder and extension ("flashdesk").
std::u16string ProgramName();

}  // namespace app::winui
