// The simulator only ever binds and connects to loopback, except inside a
// network namespace that a test made for it. These helpers read the
// "ADDR:PORT" form of its command line and tell permitted addresses apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace routersim {

struct AddressPort {
    std::string address;
    uint16_t port = 0;
};

// True for a dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view address);
// True for a loopback address; also for any dotted IPv4 address when the
// process runs in a network namespace other than the one ROUTERSIM_NETNS
// names (the test's own, as /proc/self/ns/net reads there) and other than
// that of process 1: one made for a test, where nothing beyond the test's
// own interfaces can be reached.
bool IsPermittedAddress(std::string_view address);
// Parses "ADDR:PORT" with a port of 0..65535; the address is not checked.
std::optional<AddressPort> ParseAddressPort(std::string_view text);

}  // namespace routersim
