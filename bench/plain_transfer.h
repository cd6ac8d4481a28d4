// The yardstick for the host's transfer path: the same bytes sent by a
// plain blocking send() loop in pieces of 1350 over a loopback TCP
// connection to a receiver thread that keeps them the way the link side
// does. The sending socket has the options of the host's session sockets
// (TCP_NODELAY, 16 MiB buffers).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace bench {

struct PlainResult {
    double seconds = 0;             // from the first send to the receiver's last byte
    std::vector<uint8_t> received;  // what the receiver kept
};

// Nothing when a socket could not be set up or the connection failed.
std::optional<PlainResult> PlainTransfer(const std::vector<uint8_t>& bytes);

}  // namespace bench
