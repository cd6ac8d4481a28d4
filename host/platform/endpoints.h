// Where the host finds the router and where it listens, with the product's
// defaults. Both front ends can override every value on their command line;
// tests outside a network namespace always point them at loopback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct HostPort {
    std::string host;
    uint16_t port = 0;
};

struct Endpoints {
    HostPort router{"192.168.1.1", 80};
    HostPort announce{"255.255.255.255", 3536};
    uint16_t listenPort = 4536;
    std::string hostFilter = "192.168";
    // Empty: the platform's own ARP cache flush.
    std::string arpCommand;
};

// Parses "ADDR" or "ADDR:PORT" (a port of 1..65535); ADDR is an IPv4 dotted
// quad or a host name of letters, digits, '-' and '.'. Without a port the
// given default port is kept.
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort);
std::optional<uint16_t> ParsePort(std::string_view text);

}  // namespace platform
