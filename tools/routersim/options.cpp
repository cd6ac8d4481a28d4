#include "routersim/options.h"

#include <charconv>

#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr std::string_view kUsage =
    "usage: routersim [options]\n"
    "Simulates the router's web interface and its link side on loopback until SIGINT or SIGTERM.\n"
    "Other addresses are accepted only inside a network namespace made for a test, with\n"
    "ROUTERSIM_NETNS naming the namespace the test started from (never the machine's own).\n"
    "\n"
    "  --web ADDR:PORT        where to listen (default 127.0.0.1:18080; loopback only, port 0: any)\n"
    "  --version TEXT         firmware version (default EN_PELA_BR_KR710MV1.0.0B15)\n"
    "  --factory              start in factory mode: the link side answers announcements at once\n"
    "  --web-fault NAME       none, lowercase, fail, silent, close-early, close-mid-header, refuse\n"
    "  --refuse-switches N    the first N switch requests answer FAILED\n"
    "  --announce-listen ADDR:PORT\n"
    "                         where the link side waits for the host's announcement\n"
    "                         (default 127.0.0.1:3536; loopback only, port 0: any)\n"
    "  --files DIR            also write every file received over the link into DIR\n"
    "  --esn N                the ESN that the DIAG read answers with (default 0x80A1B2C3)\n"
    "  --link-fault NAME      may be repeated; NAME is one of\n"
    "                           refuse:TYPE     answer requests of TYPE (e.g. 0x97) with 0xFF\n"
    "                           silent:TYPE     ignore requests of TYPE: no answer, no effect\n"
    "                           silent          ignore every request\n"
    "                           drop:TYPE       close the connection, unanswered, at a request of TYPE\n"
    "                                           (after the data of a transfer)\n"
    "                           drop-after:N    close the connection after N raw bytes of a transfer\n"
    "                           unknown-first   send a block of type 0x55 before each answer\n"
    "                           wrong-seq       answer with the request's seq + 1\n"
    "                           diag-bad-fcs    DIAG answers with a wrong FCS\n"
    "                           diag-no-flag    DIAG answers without their closing 0x7E\n"
    "                           random:SEED     answer every request with a block of random bytes\n"
    "  --link-delay MS        wait MS milliseconds before each link answer\n"
    "  --no-image-checks      confirm the modem upgrade and the Linux image's flash write\n"
    "                         without checking the received images; by default the modem\n"
    "                         image's MD5 must match the digest in its checksum file and\n"
    "                         the Linux image's U-Boot magic, header CRC and data CRC must\n"
    "                         hold, else the step is answered with 0xFF\n"
    "  --verbose              log every web request and link block on standard error,\n"
    "                         and what was found in each received file\n"
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
        if (name == "--factory" || name == "--no-image-checks" || name == "--verbose" || name == "--help") {
            if (inlineValue) {
                error = option + " takes no value";
                return std::nullopt;
            }
            if (name == "--factory") options.factoryMode = true;
            if (name == "--no-image-checks") options.imageChecks = false;
            if (name == "--verbose") options.verbose = true;
            if (name == "--help") options.help = true;
            continue;
        }
        if (name != "--web" && name != "--version" && name != "--web-fault" && name != "--refuse-switches" &&
            name != "--announce-listen" && name != "--files" && name != "--esn" && name != "--link-fault" && name != "--link-delay") {
            error = "unknown option " + std::string(args[i]);
            return std::nullopt;
        }
        const std::optional<std::string_view> text = value();
        if (!text) {
            error = option + " needs a value";
            return std::nullopt;
        }
        if (name == "--web" || name == "--announce-listen") {
            const auto where = ParseAddressPort(*text);
            if (!where) {
                error = option + " wants ADDR:PORT, not " + std::string(*text);
                return std::nullopt;
            }
            if (!IsPermittedAddress(where->address)) {
                error = option + ": " + where->address + " is not a loopback address (127.x.x.x)";
                return std::nullopt;
            }
            const bool web = name == "--web";
            (web ? options.webAddress : options.announceAddress) = where->address;
            (web ? options.webPort : options.announcePort) = where->port;
        } else if (name == "--version") {
            options.firmwareVersion = *text;
        } else if (name == "--web-fault") {
            const auto fault = ParseWebFault(*text);
            if (!fault) {
                error = "unknown web fault " + std::string(*text);
                return std::nullopt;
            }
            options.webFault = *fault;
        } else if (name == "--files") {
            options.filesFolder = *text;
        } else if (name == "--esn") {
            const auto esn = ParseNumber(*text, UINT32_MAX);
            if (!esn) {
                error = "--esn wants a number of up to 32 bits, not " + std::string(*text);
                return std::nullopt;
            }
            options.esn = static_cast<uint32_t>(*esn);
        } else if (name == "--link-fault") {
            if (!AddLinkFault(*text, options.linkFaults)) {
                error = "unknown link fault " + std::string(*text);
                return std::nullopt;
            }
        } else if (name == "--link-delay") {
            const auto delay = ParseCount(*text);
            if (!delay) {
                error = "--link-delay wants milliseconds, not " + std::string(*text);
                return std::nullopt;
            }
            options.linkFaults.delay = std::chrono::milliseconds(*delay);
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
