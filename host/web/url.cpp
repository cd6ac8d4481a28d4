#include "web/url.h"

#include <cctype>

namespace web {
namespace {

constexpr size_t kSchemeLimit = 20;
constexpr size_t kHostLimit = 256;
constexpr size_t kPathLimit = 1024;

bool IsHostCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == ':';
}

// The leading decimal digits as a number, as atoi reads them; 0 for none
// or for a value that is no port.
uint16_t PortNumber(std::string_view digits)
{
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 65535) return 0;
    }
    return static_cast<uint16_t>(value);
}

}  // namespace

ParsedUrl ParseUrl(std::string_view url)
{
    std::string upper(url);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    ParsedUrl parsed;
    size_t position = 0;
    const size_t colon = upper.find(':');
    if (colon != std::string::npos) {
        parsed.scheme = upper.substr(0, std::min(colon, kSchemeLimit));
        position = colon + 1;
    } else {
        parsed.scheme = "HTTP";
    }
    if (upper.compare(position, 2, "//") == 0) position += 2;
    size_t hostEnd = position;
    while (hostEnd < upper.size() && IsHostCharacter(upper[hostEnd])) ++hostEnd;
    std::string host = upper.substr(position, hostEnd - position);
    parsed.path = std::string(url.substr(hostEnd, kPathLimit));
    if (parsed.path.empty()) parsed.path = "/";
    const size_t portColon = host.find(':');
    if (portColon != std::string::npos) {
        parsed.port = PortNumber(std::string_view(host).substr(portColon + 1));
        host.resize(portColon);
    }
    parsed.host = host.substr(0, kHostLimit);
    return parsed;
}

}  // namespace web
