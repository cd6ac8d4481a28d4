// One link connection from the router's side: reads the host's requests
// block by block, reads the raw bytes of transfers, checks the received
// images, carries requests out on the router state and answers them as the
// checks and the faults in force say.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "routersim/image_checks.h"
#include "routersim/link_fault.h"
#include "routersim/link_recorder.h"
#include "routersim/link_wire.h"
#include "routersim/router_state.h"

namespace routersim {

inline constexpr uint32_t kDefaultEsn = 0x80A1B2C3;
// A start block announcing more than this closes the connection.
inline constexpr uint32_t kMaxFileBytes = 1u << 30;

// How the router behaves, read afresh for every request.
struct LinkConduct {
    LinkFaults faults;
    uint32_t esn = kDefaultEsn;
    std::string filesFolder;  // empty: received files stay in memory only
    // The modem upgrade and the Linux image's flash write are refused
    // unless the received images pass their checks (ImageChecks).
    bool checkImages = true;
    bool verbose = false;
};

class LinkSession {
public:
    LinkSession(int fd, int stopFd, RouterState& state, LinkRecorder& recorder, std::function<LinkConduct()> conduct);
    // Returns when the host closes the connection, when the router ends it
    // (close, reboot, a fault) or on the stop.
    void Run();

private:
    // False when the connection is to end.
    bool Serve(const LinkRequest& request);
    // Reads the raw bytes that follow a start block; false when the
    // connection ended first or is to end.
    bool Receive(const LinkRequest& start, const LinkConduct& conduct);
    // What the request does to the router and its answer, if any; `end`
    // tells that the router closes the connection afterwards.
    std::optional<LinkBlock> CarryOut(const LinkRequest& request, const LinkConduct& conduct, bool& end);
    bool Send(LinkBlock answer, const LinkRequest& request, const LinkConduct& conduct);
    LinkBlock RandomBlock(uint32_t seed);

    const int fd_;
    const int stopFd_;
    RouterState& state_;
    LinkRecorder& recorder_;
    const std::function<LinkConduct()> conduct_;
    std::vector<uint8_t> chunk_;
    ImageChecks checks_;
    std::optional<uint32_t> seededWith_;
    std::mt19937 random_;
};

}  // namespace routersim
