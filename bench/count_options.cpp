#include "count_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <string>

namespace bench {
namespace {

struct RefusedValue {};

}  // namespace

bool ParseCountOptions(int argc, char** argv, const std::vector<CountOption>& options)
{
    CLI::App app;
    app.set_help_flag();
    for (const CountOption& option : options) {
        app.add_option_function<std::string>(option.name, [&option](const std::string& text) {
               long long value = 0;
               const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
               const bool whole = error == std::errc() && end == text.data() + text.size();
               if (!whole || value < option.minimum || value > option.maximum || !option.set(value)) throw RefusedValue{};
           })
            ->trigger_on_parse();
    }
    try {
        app.parse(argc, argv);
    } catch (const RefusedValue&) {
        return false;
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

}  // namespace bench
