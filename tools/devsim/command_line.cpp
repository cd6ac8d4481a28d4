#include "command_line.h"

#include <algorithm>

namespace devsim {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& word)
{
    return std::find(list.begin(), list.end(), word) != list.end();
}

} // namespace

std::string command_words::value_or(const std::string& option, const std::string& fallback) const
{
    auto found = values.find(option);
    return found == values.end() ? fallback : found->second;
}

command_words read_command_words(const std::vector<std::string>& words, const command_rules& rules)
{
    command_words result;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (contains(rules.value_options, word)) {
            if (i + 1 == words.size()) throw usage_error(word + " needs a value");
            if (!result.values.emplace(word, words[++i]).second) throw usage_error(word + " given twice");
        } else if (contains(rules.switch_options, word)) {
            if (!result.switches.insert(word).second) throw usage_error(word + " given twice");
        } else if (word.size() > 1 && word[0] == '-') {
            throw usage_error("unknown option " + word);
        } else {
            result.operands.push_back(word);
        }
    }
    if (result.operands.size() != rules.operands)
        throw usage_error("expected " + std::to_string(rules.operands) + " operands, got " +
                          std::to_string(result.operands.size()));
    for (const std::string& operand : result.operands)
        if (operand.empty()) throw usage_error("an operand is empty");
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
