// The words after a devsim command: operands, options with a value, and
// switches. A word that breaks the command's rules throws usage_error
// (devsim then exits with status 2).
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace devsim {

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct command_words {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;
    std::set<std::string> switches;

    // The option's value, or the fallback when it wasn't given.
    std::string value_or(const std::string& option, const std::string& fallback) const;
};

struct command_rules {
    size_t operands;                        // exactly this many
    std::vector<std::string> value_options; // "--name VALUE", each at most once
    std::vector<std::string> switch_options;
};

command_words read_command_words(const std::vector<std::string>& words, const command_rules& rules);

// A count from 1 to 1000000000 given to an option.
long parse_count(const std::string& option, const std::string& text);

} // namespace devsim
