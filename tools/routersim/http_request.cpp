#include "routersim/http_request.h"

#include <algorithm>
#include <cctype>

namespace routersim {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsTokenChar(unsigned char c)
{
    return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return IsTokenChar(c); });
}

bool IsVisible(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return c > 0x20 && c < 0x7f; });
}

}  // namespace

RequestParser::Status RequestParser::Fail(int status, std::string reason)
{
    status_ = Status::kError;
    errorStatus_ = status;
    errorReason_ = std::move(reason);
    return status_;
}

RequestParser::Status RequestParser::Feed(std::string_view bytes)
{
    if (status_ != Status::kNeedMore) return status_;
    buffer_.append(bytes);
    if (headerEnd_ == 0) {
        FindHeaderEnd();
        const size_t headerSoFar = headerEnd_ == 0 ? buffer_.size() : headerEnd_;
        if (headerSoFar > limits_.maxHeaderBytes) {
            return Fail(431, "header longer than " + std::to_string(limits_.maxHeaderBytes) + " bytes");
        }
        if (headerEnd_ == 0) return status_;
        if (ParseHeader(std::string_view(buffer_).substr(0, headerEnd_)) == Status::kError) return status_;
    }
    return CheckBody();
}

void RequestParser::FindHeaderEnd()
{
    while (true) {
        const size_t lf = buffer_.find('\n', lineStart_);
        if (lf == std::string::npos) return;
        const size_t start = lineStart_;
        const std::string_view line = std::string_view(buffer_).substr(start, lf - start);
        lineStart_ = lf + 1;
        // A blank first line is no end of header: it leaves the request line out.
        if ((line.empty() || line == "\r") && start > 0) {
            headerEnd_ = lineStart_;
            return;
        }
    }
}

RequestParser::Status RequestParser::CheckBody()
{
    if (buffer_.size() < headerEnd_ + contentLength_) return status_;
    request_.raw = buffer_.substr(0, headerEnd_ + contentLength_);
    request_.body = request_.raw.substr(headerEnd_);
    status_ = Status::kComplete;
    return status_;
}

RequestParser::Status RequestParser::ParseHeader(std::string_view header)
{
    bool first = true;
    while (!header.empty()) {
        const size_t lf = header.find('\n');
        std::string_view line = header.substr(0, lf);
        header.remove_prefix(lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        const Status status = first ? ParseRequestLine(line) : ParseHeaderLine(line);
        if (status == Status::kError) return status;
        first = false;
    }
    if (request_.method.empty()) return Fail(400, "no request line");
    return status_;
}

RequestParser::Status RequestParser::ParseRequestLine(std::string_view line)
{
    const size_t firstSpace = line.find(' ');
    const size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace) return Fail(400, "request line without method, target and version");
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const std::string_view version = line.substr(lastSpace + 1);
    if (!IsToken(method)) return Fail(400, "malformed method");
    if (!IsVisible(target) || target.front() != '/') return Fail(400, "malformed target");
    if (version.substr(0, 5) != "HTTP/" || !IsVisible(version)) return Fail(400, "malformed protocol version");
    request_.method = method;
    request_.target = target;
    request_.version = version;
    return status_;
}

RequestParser::Status RequestParser::ParseHeaderLine(std::string_view line)
{
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return Fail(400, "malformed header line");
    if (!EqualsIgnoringCase(line.substr(0, colon), "Content-Length")) return status_;
    const std::string_view value = Trim(line.substr(colon + 1));
    if (value.empty() || !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return Fail(400, "malformed Content-Length");
    }
    size_t length = 0;
    for (const char digit : value) {
        length = length * 10 + static_cast<size_t>(digit - '0');
        if (length > limits_.maxBodyBytes) return Fail(413, "body longer than " + std::to_string(limits_.maxBodyBytes) + " bytes");
    }
    if (haveLength_ && length != contentLength_) return Fail(400, "conflicting Content-Length lines");
    haveLength_ = true;
    contentLength_ = length;
    return status_;
}

}  // namespace routersim
