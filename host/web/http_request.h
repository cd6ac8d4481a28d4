// A minimal HTTP/1.0 client: one request per connection, the whole answer
// read until the router closes it. No state of its own.
#pragma once

#include <string>

#include "web/response_reader.h"

namespace web {

inline constexpr uint32_t kConnectLimitMs = 5000;
// A router that has said nothing for this long has failed the request.
inline constexpr uint32_t kSilenceLimitMs = 30000;

class Request {
public:
    virtual ~Request() = default;

    // POSTs `body` as a form to `url`; the answer's header and body come
    // back as wide text of the ANSI code page. True on success.
    bool SendRequest(const std::string& url, const std::u16string& body, std::u16string& header, std::u16string& answer);

    // The raw exchange: POST when `body` is given, GET otherwise. 0 on
    // success, 1 on failure.
    int SendHttp(const std::string& extraHeaders, const std::string* body, const std::string& url, HttpAnswer& result);
};

}  // namespace web
