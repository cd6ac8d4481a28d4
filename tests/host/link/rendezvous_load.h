// A load run of the rendezvous server on loopback: four routers connect,
// are claimed by ports and exchange data blocks while extra connections
// arrive, at once and spread out; then the routers leave, the connections
// that waited meanwhile are claimed and closed, and four new routers
// connect and exchange blocks again. The run reports what it saw; the
// test and the benchmark judge it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/sock_producer.h"
#include "../support/process_resources.h"

namespace link_load {

struct LoadSettings {
    int rounds = 50;              // data blocks each session exchanges under load
    int burstConnections = 25;    // extra connections made at the same moment
    int spreadConnections = 25;   // extra connections made one after another during the exchange
    int spreadGapMs = 20;         // real milliseconds between two of those (a pace, not a window)
    int roundsAgain = 10;         // data blocks each new router exchanges at the end
    double timeScale = 100.0;
    // The server's session log goes to "Logs" under this folder.
    std::u16string logFolder;
};

struct SessionFigures {
    int requests = 0;
    int correctReplies = 0;
    int wrongReplies = 0;  // another sequence number, router or content
    int unanswered = 0;    // not posted or no reply within five seconds
};

struct LoadFigures {
    bool serverStarted = false;
    int routersOpened = 0;
    std::array<SessionFigures, devlink::kSessionSlots> sessions{};

    int extrasTried = 0;
    int extrasConnected = 0;  // the handshake completed (the system's listen queue)
    int extrasRefused = 0;    // the connection attempt failed
    int extrasServed = 0;     // received a byte or an end of connection from the server while the four sessions ran
    // Two more blocks on session 0 once every extra connection was made:
    // the server has looked at its listener since.
    SessionFigures afterExtras{};
    int32_t minSessionCount = 0;  // while the four sessions ran, and after those two blocks
    int32_t maxSessionCount = 0;
    size_t maxAcceptedWaiting = 0;
    // Counted from when the fourth session was counted: at most the one
    // announcement that was on its way then.
    int announcementsWhileFull = 0;

    bool slotsFreedWhenRoutersLeft = false;
    int waitingClaimedAfterwards = 0;  // connections accepted once room was made, claimed and closed
    int32_t sessionCountAfterClaims = -1;
    size_t acceptedAfterClaims = 0;
    int announcementsAfterwards = 0;  // until the first came (bounded)

    int routersOpenedAgain = 0;
    std::array<SessionFigures, devlink::kSessionSlots> sessionsAgain{};
    int32_t sessionCountAtEnd = -1;
    size_t acceptedAtEnd = 0;

    testing_support::ProcessResources before;  // before the server started
    testing_support::ProcessResources after;   // once the server and every client were gone
    double seconds = 0;
};

LoadFigures RunRendezvousLoad(const LoadSettings& settings);

}  // namespace link_load
