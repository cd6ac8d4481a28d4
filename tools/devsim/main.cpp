// devsim: makes a simulated KVR router for the sim build of kvr_fota_update,
// registers update packages on it, runs the agent through its restarts and
// dumps partitions. `devsim --help` and `devsim COMMAND --help` describe it.
// Exit status: 0 done, 1 failed, 2 usage error.
#include "command_line.h"
#include "commands.h"
#include "files.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct command {
    const char* name;
    std::string (*help)();
    int (*run)(const std::vector<std::string>&);
};

const command kCommands[] = {
    {"init", devsim::init_help, devsim::init_command},
    {"register", devsim::register_help, devsim::register_command},
    {"run", devsim::run_help, devsim::run_command},
    {"dump", devsim::dump_help, devsim::dump_command},
    {"campaign", devsim::campaign_help, devsim::campaign_command},
};

const char kUsage[] = "usage: devsim init ROOT [--layout FILE] [--agent-log] [--trust PUBLIC]\n"
                      "       devsim register ROOT PACKAGE [--unchecked] [--register PATH] [--emulator PATH]\n"
                      "       devsim run ROOT [--power-cut N] [--file-cut N] [--fail-erase N]\n"
                      "                       [--fail-write N] [--time-limit S] [--agent PATH]\n"
                      "                       [--emulator PATH]\n"
                      "       devsim dump ROOT PARTITION OUT\n"
                      "       devsim campaign LAYOUT PACKAGE EXPECTED [--step K] [--file-step K]\n"
                      "                       [--time-limit S] [--work DIR] [--require-target]\n"
                      "                       [--agent PATH] [--register PATH] [--emulator PATH]\n"
                      "                       [--trust PUBLIC]\n";

const char kAbout[] = "\n"
                      "A simulated KVR router for the sim build of kvr_fota_update: init makes one in\n"
                      "the folder ROOT, register hands it an update package, run runs the update\n"
                      "through the device's restarts and reports what happened, dump copies a\n"
                      "partition out, campaign cuts the power at every operation of an update in\n"
                      "turn. `devsim COMMAND --help` describes a command.\n"
                      "Exit status: 0 done, 1 failed, 2 usage error.\n";

bool asks_for_help(const std::vector<std::string>& words)
{
    for (const std::string& word : words)
        if (word == "--help" || word == "-h") return true;
    return false;
}

int usage_error(const std::string& problem)
{
    std::cerr << "devsim: " << problem << "\n" << kUsage << "Run `devsim --help` for more.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) return usage_error("no command");
    if (words[0] == "--help" || words[0] == "-h") {
        std::cout << kUsage << kAbout;
        return 0;
    }
    for (const command& cmd : kCommands) {
        if (words[0] != cmd.name) continue;
        std::vector<std::string> rest(words.begin() + 1, words.end());
        if (asks_for_help(rest)) {
            std::cout << cmd.help();
            return 0;
        }
        try {
            return cmd.run(rest);
        } catch (const devsim::usage_error& problem) {
            return usage_error(std::string(cmd.name) + ": " + problem.what());
        } catch (const std::exception& failure) {
            std::cerr << "devsim " << cmd.name << ": " << failure.what() << "\n";
            return 1;
        }
    }
    return usage_error("unknown command \"" + words[0] + "\"");
}
