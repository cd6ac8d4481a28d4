// What the download thread tells the user while it waits for the router to
// connect back: at once when no local address passes the host filter, and
// after a minute of announcements without a connection what to check (the
// firewall, the cable, the announced address and its adapter).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/host_address.h"

namespace app {

inline constexpr uint32_t kConnectBackHintMs = 60000;

class ConnectBackHint {
public:
    // A new text to show, an empty text when the last one no longer holds
    // (an address has been found), or nothing when nothing changed.
    std::optional<std::u16string> Check(uint64_t nowMs, const devlink::AnnounceState& state);

private:
    bool started_ = false;
    uint64_t baselineAccepted_ = 0;
    // When the announcements of this address began going out.
    uint32_t announcedAddress_ = 0;
    std::optional<uint64_t> announcingSinceMs_;
    std::u16string shown_;
};

std::u16string NoAddressHint(const std::string& filter);
std::u16string NoConnectionHint(const devlink::AnnounceState& state);

}  // namespace app
