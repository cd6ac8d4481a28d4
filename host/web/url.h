// The URL rules of the web client: scheme upper-cased ("HTTP" when the URL
// has no colon), host of letters, digits, '-', '.' and ':' (upper-cased),
// path in its own case ("/" when empty), port after a colon in the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace web {

struct ParsedUrl {
    std::string scheme;  // at most 20 characters
    std::string host;    // at most 256 characters, without the port
    uint16_t port = 80;
    std::string path;    // at most 1024 characters
};

ParsedUrl ParseUrl(std::string_view url);

}  // namespace web
