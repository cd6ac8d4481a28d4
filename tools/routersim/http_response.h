// The answers the web interface writes: an HTTP/1.0 status line, a plain
// text content type and the body; the connection closes after it.
#pragma once

#include <string>
#include <string_view>

namespace routersim {

std::string HttpResponse(int status, std::string_view body);

// What a kCloseMidHeader answer sends before the connection closes.
inline constexpr std::string_view kCutHeader = "HTTP/1.0 200 OK\r\nContent-Ty";

}  // namespace routersim
