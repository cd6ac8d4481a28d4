// devsim's commands. Each takes the words after its name and returns
// devsim's exit status; usage_error and error escape to main.
#pragma once

#include <string>
#include <vector>

namespace devsim {

std::string init_help();
int init_command(const std::vector<std::string>& words);

std::string register_help();
int register_command(const std::vector<std::string>& words);

std::string run_help();
int run_command(const std::vector<std::string>& words);

std::string dump_help();
int dump_command(const std::vector<std::string>& words);

std::string campaign_help();
int campaign_command(const std::vector<std::string>& words);

} // namespace devsim
