#include "routersim/link_announcement.h"

#include <arpa/inet.h>

#include "link/block_layout.h"
#include "link/little_endian.h"
#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr uint32_t kAnnouncedParam = 114;
constexpr uint32_t kAnnouncedSeq = 108;

}  // namespace

std::optional<AnnouncedHost> ReadAnnouncement(std::span<const uint8_t> datagram, std::string& why)
{
    if (datagram.size() != devlink::kBlockSize) {
        why = "a datagram of " + std::to_string(datagram.size()) + " bytes is no announcement";
        return std::nullopt;
    }
    if (datagram[devlink::kTypeAt] != devlink::kCmdAnnounce || devlink::ReadLe32(datagram, devlink::kParamAt) != kAnnouncedParam ||
        devlink::ReadLe32(datagram, devlink::kSeqAt) != kAnnouncedSeq) {
        why = "a datagram with another type, param or seq is no announcement";
        return std::nullopt;
    }
    const uint32_t port = devlink::ReadLe32(datagram, devlink::kAnnounceArg1At);
    if (port == 0 || port > 65535) {
        why = "the announced port " + std::to_string(port) + " is out of range";
        return std::nullopt;
    }
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, datagram.data() + devlink::kAnnounceArg2At, dotted, sizeof(dotted));
    if (!IsPermittedAddress(dotted)) {
        why = std::string("the announced address ") + dotted + " is not a loopback address; not connecting";
        return std::nullopt;
    }
    return AnnouncedHost{dotted, static_cast<uint16_t>(port)};
}

}  // namespace routersim
