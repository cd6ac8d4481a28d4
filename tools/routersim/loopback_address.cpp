#include "routersim/loopback_address.h"

#include <arpa/inet.h>

#include <charconv>

namespace routersim {

bool IsLoopbackAddress(std::string_view address)
{
    const std::string text(address);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
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
