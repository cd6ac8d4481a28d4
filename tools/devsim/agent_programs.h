// Where devsim finds the sim agent's programs: the build's own, unless an
// option names others.
#pragma once

#include "command_line.h"
#include "device_process.h"

namespace devsim {

// The program given by option (--agent or --register), else the build's
// default, run under the emulator of --emulator when given.
program chosen_program(const command_words& given, const std::string& option, const std::string& default_path);

extern const char kDefaultAgent[];
extern const char kDefaultRegister[];

} // namespace devsim
