#include "routersim/link_announcement.h"

#include <arpa/inet.h>

#include "link/link_block.h"
#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr uint32_t kAnnouncedParam = 114;
constexpr uint32_t kAnnouncedSeq = 108;

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

}  // namespace

std::optional<AnnouncedHost> ReadAnnouncement(std::span<const uint8_t> datagram, std::string& why)
{
    if (datagram.size() != devlink::kBlockSize) {
        why = "a datagram of " + std::to_string(datagram.size()) + " bytes is no announcement";
        return std::nullopt;
    }
    if (datagram[0] != devlink::kCmdAnnounce || Get32(datagram, 1) != kAnnouncedParam || Get32(datagram, 5) != kAnnouncedSeq) {
        why = "a datagram with another type, param or seq is no announcement";
        return std::nullopt;
    }
    const uint32_t port = Get32(datagram, 9);
    if (port == 0 || port > 65535) {
        why = "the announced port " + std::to_string(port) + " is out of range";
        return std::nullopt;
    }
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, datagram.data() + 13, dotted, sizeof(dotted));
    if (!IsPermittedAddress(dotted)) {
        why = std::string("the announced address ") + dotted + " is not a loopback address; not connecting";
        return std::nullopt;
    }
    return AnnouncedHost{dotted, static_cast<uint16_t>(port)};
}

}  // namespace routersim
