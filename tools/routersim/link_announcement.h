// The host's announcement: one 1440-byte datagram of type 0x6A, param 114
// and seq 108, whose arg1 (offset 9) is the host's TCP port and whose arg2
// (offset 13) is its IPv4 address in network order. The router connects
// back only when that address is a loopback one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace routersim {

struct AnnouncedHost {
    std::string address;  // dotted
    uint16_t port = 0;
};

// The host to connect to, or nothing with the reason in `why`.
std::optional<AnnouncedHost> ReadAnnouncement(std::span<const uint8_t> datagram, std::string& why);

}  // namespace routersim
