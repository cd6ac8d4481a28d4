// Which local address the rendezvous server announces. The router's network
// is the one the system would use to reach the router's address; the host
// filter guards against announcing an address the router cannot reach.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/udp_socket.h"

namespace devlink {

struct HostAddressChoice {
    uint32_t address = 0;  // network byte order; 0: nothing to announce
    std::string adapter;   // the adapter that holds it; empty when unknown
    // Every address seen and the reason for the choice, in order.
    std::vector<std::string> diagnostics;
};

// `routeAnswer`: the local address of the route to `router` (0 when there
// is none or the router's address is unknown). Takes the route's address
// when it contains `filter`, otherwise the first listed address that does.
HostAddressChoice ChooseHostAddress(const std::vector<platform::LocalAddress>& locals, uint32_t router, uint32_t routeAnswer,
                                    std::string_view filter);

// What the server announces, for a hint when no router connects back.
struct AnnounceState {
    bool chosen = false;   // an address choice has been made
    uint32_t address = 0;  // the last choice; 0 when nothing passed the filter
    std::string adapter;
    std::string filter;
    uint64_t accepted = 0;  // connections accepted since the server started
    uint16_t listenPort = 0;
};

// "a.b.c.d" of an address in network byte order.
std::string DottedAddress(uint32_t address);

}  // namespace devlink
