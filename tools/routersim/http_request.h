// An HTTP/1.x request read in pieces as they arrive: the request line, the
// header lines up to the blank line, and a body of Content-Length bytes
// (none without that header). Sizes are bounded so that junk on the wire
// ends in an error instead of endless buffering.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace routersim {

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::string body;
    // Every byte of the request as received, from the request line to the
    // end of the body.
    std::string raw;
};

struct RequestLimits {
    size_t maxHeaderBytes = 16 * 1024;
    size_t maxBodyBytes = 64 * 1024;
};

class RequestParser {
public:
    enum class Status { kNeedMore, kComplete, kError };

    explicit RequestParser(RequestLimits limits = {}) : limits_(limits) {}

    // Takes the next bytes from the connection. Bytes after a complete
    // request are ignored.
    Status Feed(std::string_view bytes);
    Status State() const { return status_; }
    const HttpRequest& Request() const { return request_; }
    // After an error: the HTTP status to answer with and the reason.
    int ErrorStatus() const { return errorStatus_; }
    const std::string& ErrorReason() const { return errorReason_; }

private:
    Status Fail(int status, std::string reason);
    void FindHeaderEnd();
    Status ParseHeader(std::string_view header);
    Status ParseRequestLine(std::string_view line);
    Status ParseHeaderLine(std::string_view line);
    Status CheckBody();

    RequestLimits limits_;
    Status status_ = Status::kNeedMore;
    std::string buffer_;
    size_t lineStart_ = 0;  // where the header line not yet looked at begins
    size_t headerEnd_ = 0;  // bytes up to and including the blank line, once seen
    bool haveLength_ = false;
    size_t contentLength_ = 0;
    HttpRequest request_;
    int errorStatus_ = 0;
    std::string errorReason_;
};

}  // namespace routersim
