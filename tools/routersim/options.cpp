#include "routersim/options.h"

#include <charconv>

#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr std::string_view kUsage =
    "usage: routersim [options]\n"
    "Simulates the router's web interface on loopback until SIGINT or SIGTERM.\n"
    "\n"
    "  --web ADDR:PORT        where to listen (default 127.0.0.1:18080; loopback only, port 0: any)\n"
    "  --version TEXT         firmware version (default EN_PELA_BR_KR710MV1.0.0B15)\n"
    "  --factory              start in factory mode\n"
    "  --web-fault NAME       none, lowercase, fail, silent, close-early, close-mid-header, refuse\n"
    "  --refuse-switches N    the first N switch requests answer FAILED\n"
    "  --verbose              log every request on standard error\n"
    "  --help                 show this text\n";

std::optional<int> ParseCount(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<RouterSimOptions> ParseOptions(std::span<const std::string_view> args, std::string& error)
{
    RouterSimOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inlineValue;
        if (const size_t eq = name.find('='); name.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue) return inlineValue;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        const std::string option(name);
        if (name == "--factory" || name == "--verbose" || name == "--help") {
            if (inlineValue) {
                error = option + " takes no value";
                return std::nullopt;
            }
            if (name == "--factory") options.factoryMode = true;
            if (name == "--verbose") options.verbose = true;
            if (name == "--help") options.help = true;
            continue;
        }
        if (name != "--web" && name != "--version" && name != "--web-fault" && name != "--refuse-switches") {
            error = "unknown option " + std::string(args[i]);
            return std::nullopt;
        }
        const std::optional<std::string_view> text = value();
        if (!text) {
            error = option + " needs a value";
            return std::nullopt;
        }
        if (name == "--web") {
            const auto where = ParseAddressPort(*text);
            if (!where) {
                error = "--web wants ADDR:PORT, not " + std::string(*text);
                return std::nullopt;
            }
            if (!IsLoopbackAddress(where->address)) {
                error = "--web: " + where->address + " is not a loopback address (127.x.x.x)";
                return std::nullopt;
            }
            options.webAddress = where->address;
            options.webPort = where->port;
        } else if (name == "--version") {
            options.firmwareVersion = *text;
        } else if (name == "--web-fault") {
            const auto fault = ParseWebFault(*text);
            if (!fault) {
                error = "unknown web fault " + std::string(*text);
                return std::nullopt;
            }
            options.webFault = *fault;
        } else {
            const auto count = ParseCount(*text);
            if (!count) {
                error = "--refuse-switches wants a count, not " + std::string(*text);
                return std::nullopt;
            }
            options.refuseSwitches = *count;
        }
    }
    return options;
}

std::string_view UsageText()
{
    return kUsage;
}

}  // namespace routersim
