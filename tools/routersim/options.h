// The routersim command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "routersim/link_fault.h"
#include "routersim/link_session.h"
#include "routersim/router_state.h"
#include "routersim/web_fault.h"

namespace routersim {

struct RouterSimOptions {
    std::string webAddress = "127.0.0.1";
    uint16_t webPort = 18080;
    std::string firmwareVersion = kDefaultFirmwareVersion;
    bool factoryMode = false;
    WebFault webFault = WebFault::kNone;
    int refuseSwitches = 0;
    std::string announceAddress = "127.0.0.1";
    uint16_t announcePort = 3536;
    std::string filesFolder;
    uint32_t esn = kDefaultEsn;
    LinkFaults linkFaults;
    bool imageChecks = true;
    bool verbose = false;
    bool help = false;
};

// Parses the arguments after the program name; on a usage error returns
// nothing and says why in `error`. A non-loopback --web or
// --announce-listen address is one.
std::optional<RouterSimOptions> ParseOptions(std::span<const std::string_view> args, std::string& error);
std::string_view UsageText();

}  // namespace routersim
