// The shell commands the agent gives, carried out on the simulated root.
// Anything else is refused and never reaches the machine's shell.
#pragma once

// Returns what system() would: the wait status of the command.
int sim_shell(const char* command);
