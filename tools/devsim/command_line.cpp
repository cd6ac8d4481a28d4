#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace devsim {

std::string command_words::value_or(const std::string& option, const std::string& fallback) const
{
    auto found = values.find(option);
    return found == values.end() ? fallback : found->second;
}

command_words read_command_words(const std::vector<std::string>& words, const command_rules& rules)
{
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::map<std::string, CLI::Option*> value_options;
    for (const std::string& name : rules.value_options)
        value_options[name] = app.add_option(name)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    std::map<std::string, CLI::Option*> switch_options;
    for (const std::string& name : rules.switch_options)
        switch_options[name] = app.add_flag(name)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command_words result;
    app.add_option("operands", result.operands);

    // CLI11 reads the words from the back of the list.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch&) {
        // A value option takes the next word, whatever it is: only the last
        // word can lack its value.
        throw usage_error(words.back() + " needs a value");
    } catch (const CLI::ParseError& failed) {
        throw usage_error(failed.what());
    }
    for (const auto& [name, option] : switch_options) {
        for (const std::string& given : option->results())
            if (given != "true") throw usage_error("unknown option " + name + "=" + given);
        if (option->count() > 1) throw usage_error(name + " given twice");
        if (option->count() == 1) result.switches.insert(name);
    }
    for (const auto& [name, option] : value_options) {
        if (option->count() > 1) throw usage_error(name + " given twice");
        if (option->count() == 1) result.values.emplace(name, option->results().front());
    }
    if (const std::vector<std::string> unknown = app.remaining(); !unknown.empty())
        throw usage_error("unknown option " + unknown.front());
    if (result.operands.size() != rules.operands)
        throw usage_error("expected " + std::to_string(rules.operands) + " operands, got " +
                          std::to_string(result.operands.size()));
    for (const std::string& operand : result.operands) {
        if (operand.empty()) throw usage_error("an operand is empty");
        // CLI11 takes a negative number for an operand; devsim never did.
        if (operand.size() > 1 && operand[0] == '-') throw usage_error("unknown option " + operand);
    }
    return result;
}

long parse_count(const std::string& option, const std::string& text)
{
    long value = 0;
    bool digits = !text.empty() && text.size() <= 10 &&
                  std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) value = std::stol(text);
    if (!digits || value < 1 || value > 1000000000) throw usage_error(option + " needs a count from 1 to 1000000000");
    return value;
}

} // namespace devsim
