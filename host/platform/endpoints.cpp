#include "platform/endpoints.h"

#include <cctype>

namespace platform {

std::optional<uint16_t> ParsePort(std::string_view text)
{
    if (text.empty() || text.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort)
{
    HostPort result;
    result.port = defaultPort;
    std::string_view host = text;
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        const std::optional<uint16_t> port = ParsePort(text.substr(colon + 1));
        if (!port) return std::nullopt;
        result.port = *port;
    }
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-') return std::nullopt;
    for (char c : host) {
        const bool allowed = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.';
        if (!allowed) return std::nullopt;
    }
    result.host = std::string(host);
    return result;
}

}  // namespace platform
