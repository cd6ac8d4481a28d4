#include "routersim/loopback_address.h"

#include <arpa/inet.h>

#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdlib>

namespace routersim {

bool IsLoopbackAddress(std::string_view address)
{
    const std::string text(address);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

namespace {

std::string NetworkNamespace(const char* process)
{
    char target[PATH_MAX] = {};
    const std::string link = std::string("/proc/") + process + "/ns/net";
    const ssize_t length = readlink(link.c_str(), target, sizeof(target) - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// ROUTERSIM_NETNS names the network namespace the test started from (as
// /proc/self/ns/net reads there); the simulator must run in another one, and
// not in that of process 1 either when that can be read.
bool InOwnNetworkNamespace()
{
    const char* outside = std::getenv("ROUTERSIM_NETNS");
    if (outside == nullptr || *outside == '\0') return false;
    const std::string own = NetworkNamespace("self");
    const std::string first = NetworkNamespace("1");
    return !own.empty() && own != outside && own != first;
}

}  // namespace

bool IsPermittedAddress(std::string_view address)
{
    if (IsLoopbackAddress(address)) return true;
    const std::string text(address);
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1 && InOwnNetworkNamespace();
}

std::optional<AddressPort> ParseAddressPort(std::string_view text)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
    const std::string_view portText = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port > 65535) return std::nullopt;
    return AddressPort{std::string(text.substr(0, colon)), static_cast<uint16_t>(port)};
}

}  // namespace routersim
