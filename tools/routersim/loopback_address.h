// The simulator only ever binds to loopback. These helpers read the
// "ADDR:PORT" form of its command line and tell loopback addresses apart.
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
// Parses "ADDR:PORT" with a port of 0..65535; the address is not checked.
std::optional<AddressPort> ParseAddressPort(std::string_view text);

}  // namespace routersim
