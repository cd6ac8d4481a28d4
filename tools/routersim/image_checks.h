// What the router checks before it flashes: the modem image against the
// digest at the start of its checksum file, and the Linux image's U-Boot
// header and data CRCs. Kept per connection; a later transfer of a kind
// replaces the earlier one.
#pragma once

#include <optional>
#include <string>

#include "routersim/check_verdict.h"
#include "routersim/link_recorder.h"

namespace routersim {

class ImageChecks {
public:
    // Takes note of a complete transfer and returns what was found in it;
    // empty for a type that is not checked.
    std::string Take(const ReceivedFile& file);
    // Before the modem upgrade: the received image's MD5 against the digest.
    CheckVerdict ModemImage() const;
    // Before the flash-write confirmation of the Linux image.
    CheckVerdict LinuxImage() const;

private:
    std::optional<std::string> imageMd5_;
    bool checksumReceived_ = false;
    std::optional<std::string> checksumDigest_;
    std::optional<CheckVerdict> linuxImage_;
};

}  // namespace routersim
