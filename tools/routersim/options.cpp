#include "routersim/options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <functional>
#include <vector>

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

// A value that its option refuses; thrown from CLI11's callback, which runs
// as each value is read, so that the first bad word decides the error.
struct RefusedValue {
    std::string reason;
};

// Nothing when the ADDR:PORT is usable, else why not.
std::optional<std::string> SetAddressPort(const std::string& option, const std::string& text, std::string& address, uint16_t& port)
{
    const auto where = ParseAddressPort(text);
    if (!where) return option + " wants ADDR:PORT, not " + text;
    if (!IsPermittedAddress(where->address)) return option + ": " + where->address + " is not a loopback address (127.x.x.x)";
    address = where->address;
    port = where->port;
    return std::nullopt;
}

void AddValueOption(CLI::App& app, const std::string& name, std::function<std::optional<std::string>(const std::string&)> apply)
{
    app.add_option_function<std::string>(name, [apply](const std::string& text) {
           if (std::optional<std::string> reason = apply(text)) throw RefusedValue{*reason};
       })
        ->trigger_on_parse();
}

}  // namespace

std::optional<RouterSimOptions> ParseOptions(std::span<const std::string_view> args, std::string& error)
{
    RouterSimOptions options;
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    const char* const switchNames[] = {"--factory", "--no-image-checks", "--verbose", "--help"};
    std::vector<CLI::Option*> switches;
    for (const char* name : switchNames) switches.push_back(app.add_flag(name));
    AddValueOption(app, "--web", [&](const std::string& text) { return SetAddressPort("--web", text, options.webAddress, options.webPort); });
    AddValueOption(app, "--announce-listen", [&](const std::string& text) {
        return SetAddressPort("--announce-listen", text, options.announceAddress, options.announcePort);
    });
    AddValueOption(app, "--version", [&](const std::string& text) -> std::optional<std::string> {
        options.firmwareVersion = text;
        return std::nullopt;
    });
    AddValueOption(app, "--web-fault", [&](const std::string& text) -> std::optional<std::string> {
        const auto fault = ParseWebFault(text);
        if (!fault) return "unknown web fault " + text;
        options.webFault = *fault;
        return std::nullopt;
    });
    AddValueOption(app, "--refuse-switches", [&](const std::string& text) -> std::optional<std::string> {
        const auto count = ParseCount(text);
        if (!count) return "--refuse-switches wants a count, not " + text;
        options.refuseSwitches = *count;
        return std::nullopt;
    });
    AddValueOption(app, "--files", [&](const std::string& text) -> std::optional<std::string> {
        options.filesFolder = text;
        return std::nullopt;
    });
    AddValueOption(app, "--esn", [&](const std::string& text) -> std::optional<std::string> {
        const auto esn = ParseNumber(text, UINT32_MAX);
        if (!esn) return "--esn wants a number of up to 32 bits, not " + text;
        options.esn = static_cast<uint32_t>(*esn);
        return std::nullopt;
    });
    AddValueOption(app, "--link-fault", [&](const std::string& text) -> std::optional<std::string> {
        if (!AddLinkFault(text, options.linkFaults)) return "unknown link fault " + text;
        return std::nullopt;
    });
    AddValueOption(app, "--link-delay", [&](const std::string& text) -> std::optional<std::string> {
        const auto delay = ParseCount(text);
        if (!delay) return "--link-delay wants milliseconds, not " + text;
        options.linkFaults.delay = std::chrono::milliseconds(*delay);
        return std::nullopt;
    });

    // CLI11 reads the words from the back of the list.
    std::vector<std::string> words(args.rbegin(), args.rend());
    try {
        app.parse(words);
    } catch (const RefusedValue& refused) {
        error = refused.reason;
        return std::nullopt;
    } catch (const CLI::ArgumentMismatch&) {
        // Every option takes the next word as its value, whatever it is, so
        // only the last word can lack one.
        const std::string_view last = args.back();
        error = std::string(last.substr(0, last.find('='))) + " needs a value";
        return std::nullopt;
    } catch (const CLI::ParseError& failed) {
        error = failed.what();
        return std::nullopt;
    }
    for (CLI::Option* given : switches) {
        for (const std::string& value : given->results()) {
            if (value != "true") {
                error = given->get_name() + " takes no value";
                return std::nullopt;
            }
        }
    }
    if (const std::vector<std::string> unknown = app.remaining(); !unknown.empty()) {
        error = "unknown option " + unknown.front();
        return std::nullopt;
    }
    options.factoryMode = switches[0]->count() > 0;
    options.imageChecks = switches[1]->count() == 0;
    options.verbose = switches[2]->count() > 0;
    options.help = switches[3]->count() > 0;
    return options;
}

std::string_view UsageText()
{
    return kUsage;
}

}  // namespace routersim
