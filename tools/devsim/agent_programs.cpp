#include "agent_programs.h"

namespace devsim {

const char kDefaultAgent[] = DEVSIM_AGENT_PROGRAM;
const char kDefaultRegister[] = DEVSIM_REGISTER_PROGRAM;

program chosen_program(const command_words& given, const std::string& option, const std::string& default_path)
{
    return {given.value_or(option, default_path), given.value_or("--emulator", "")};
}

} // namespace devsim
