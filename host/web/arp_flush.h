// The flush of this PC's ARP cache that runs before every router request,
// so that a router that has just changed its MAC address is found.
#pragma once

#include <string>

namespace web {

struct ArpCommand {
    std::u16string program;
    std::u16string parameters;
};

// Without `configured`: "cmd" with "/c arp -d" on Windows, "ip neigh flush
// all" elsewhere. A configured command runs through "cmd /c" on Windows and
// the shell elsewhere.
ArpCommand PlatformArpCommand(const std::string& configured);

// Starts the command hidden, waits for it at most 3000 ms, then sleeps
// 1000 ms. Whether the command succeeded is not looked at. `tag` prefixes
// the diagnostic lines.
void RunDeleteArp(const ArpCommand& command, const std::u16string& tag);

}  // namespace web
