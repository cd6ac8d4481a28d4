#include "app/options.h"

#include "app/kept_logs.h"
#include "platform/text.h"

#ifndef FLASHDESK_VERSION
#define FLASHDESK_VERSION "0.0.0"
#endif

namespace app {
namespace {

std::optional<int> ParseLanguage(const std::string& text)
{
    if (text == "0") return kLanguageEnglish;
    if (text == "2") return kLanguageGerman;
    if (text == "3") return kLanguagePortuguese;
    return std::nullopt;
}

}  // namespace

std::u16string ProductTitle() { return u"flashdesk " + platform::Utf8ToUtf16(FLASHDESK_VERSION); }

std::string UsageText(const std::string& programName, FrontEnd frontEnd)
{
    const bool console = frontEnd == FrontEnd::kConsole;
    const std::string language = console ? "  --language N            instructions: 0 English, 2 German, 3 Portuguese (default 3)\n" : "";
    const std::string keptLogs = console ? "$XDG_STATE_HOME/flashdesk/logs (default ~/.local/state/flashdesk/logs)"
                                         : "%LOCALAPPDATA%\\flashdesk\\Logs";
    return "usage: " + programName + " [options]\n"
           "Updates the firmware of a KVR 4G wireless router joined to this PC by a LAN cable.\n"
           "  --router ADDR[:PORT]    router web interface (default 192.168.1.1:80); the announced\n"
           "                          address is the local one on the route to it\n"
           "  --announce ADDR[:PORT]  UDP announcement destination (default 255.255.255.255:3536)\n"
           "  --listen-port N         TCP port the router connects back to (default 4536)\n"
           "  --host-filter TEXT      text the announced local address must contain (default 192.168)\n"
           "  --arp-command CMD       command that flushes the ARP cache\n"
           "                          (default: arp -d on Windows, ip neigh flush all elsewhere)\n"
           "  --yes                   press UPDATE as soon as it is enabled; accept dialogs\n" +
           language +
           "  --help                  show this text\n"
           "  --version               show the program version\n"
           "The logs of the last " + std::to_string(kKeptRuns) + " updates are kept in " + keptLogs + ".\n"
           "Environment: FLASHDESK_TIME_SCALE=N runs every wait N times faster.\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args, FrontEnd frontEnd)
{
    Options options;
    ParsedOptions result;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        auto fail = [&result](std::string why) {
            result.error = std::move(why);
            return result;
        };
        if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--router" || arg == "--announce") {
            if (!hasValue) return fail(arg + " needs ADDR[:PORT]");
            platform::HostPort& target = arg == "--router" ? options.endpoints.router : options.endpoints.announce;
            const std::optional<platform::HostPort> parsed = platform::ParseHostPort(args[++i], target.port);
            if (!parsed) return fail("invalid address for " + arg + ": " + args[i]);
            target = *parsed;
        } else if (arg == "--listen-port") {
            if (!hasValue) return fail("--listen-port needs a port number");
            const std::optional<uint16_t> port = platform::ParsePort(args[++i]);
            if (!port) return fail("invalid port for --listen-port: " + args[i]);
            options.endpoints.listenPort = *port;
        } else if (arg == "--host-filter") {
            if (!hasValue) return fail("--host-filter needs a text");
            options.endpoints.hostFilter = args[++i];
        } else if (arg == "--language" && frontEnd == FrontEnd::kConsole) {
            if (!hasValue) return fail("--language needs 0, 2 or 3");
            const std::optional<int> language = ParseLanguage(args[++i]);
            if (!language) return fail("invalid language for --language: " + args[i] + " (0 English, 2 German, 3 Portuguese)");
            options.language = *language;
        } else if (arg == "--arp-command") {
            if (!hasValue) return fail("--arp-command needs a command");
            options.endpoints.arpCommand = args[++i];
        } else {
            return fail("unknown option: " + arg);
        }
    }
    result.options = std::move(options);
    return result;
}

}  // namespace app
