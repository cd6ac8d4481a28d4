// The host's transfer path under test: a modem image start block posted
// through the port, then the raw bytes in pieces of 1350 by RawWrite, the
// way the download thread streams a file, to the router simulator's link
// side in the same process.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/net_serial.h"
#include "routersim/link_peer.h"

namespace bench {

struct HostResult {
    double seconds = 0;             // from posting the start block to the link side's last byte
    double startSeconds = 0;        // of which until the send thread had sent the start block
    std::vector<uint8_t> received;  // the file the link side kept
};

// Nothing when the port refused a step or the link side did not keep a
// complete file within a minute. The link side's files are forgotten.
std::optional<HostResult> HostTransfer(devlink::CNetSerial& port, routersim::LinkPeer& peer, const std::vector<uint8_t>& bytes);

}  // namespace bench
