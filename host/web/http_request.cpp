#include "web/http_request.h"

#include "platform/debug_output.h"
#include "platform/tcp_socket.h"
#include "platform/text.h"
#include "web/url.h"

namespace web {
namespace {

class SocketSource : public ByteSource {
public:
    explicit SocketSource(platform::TcpSocket& socket) : socket_(socket) {}
    platform::ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received) override
    {
        return socket_.Receive(buffer, capacity, received, kSilenceLimitMs);
    }

private:
    platform::TcpSocket& socket_;
};

bool SendText(platform::TcpSocket& socket, const std::string& text) { return socket.Send(text.data(), text.size()); }

int Fail(const std::string& why)
{
    platform::DebugOutput(u"KR710 Request failed: " + platform::Utf8ToUtf16(why));
    return 1;
}

}  // namespace

int Request::SendHttp(const std::string& extraHeaders, const std::string* body, const std::string& url, HttpAnswer& result)
{
    const ParsedUrl target = ParseUrl(url);
    if (target.scheme != "HTTP") return Fail("scheme " + target.scheme + " is not HTTP");
    if (!platform::StartNetworking()) return Fail("the socket library did not start");
    platform::TcpSocket socket;
    if (!socket.Open()) return Fail("no socket");
    uint32_t address = 0;
    if (!platform::ResolveIPv4(target.host, address)) return Fail("cannot resolve " + target.host);
    if (!socket.Connect(address, target.port, kConnectLimitMs)) return Fail("no connection to " + target.host);

    const std::string requestLine = (body != nullptr ? "POST " : "GET ") + target.path + " HTTP/1.0\r\n";
    std::string pieces[] = {
        requestLine,
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-excel, application/msword, "
        "application/vnd.ms-powerpoint, */*\r\n",
        "Accept-Language: en-us\r\n",
        "Accept-Encoding: gzip, deflate\r\n",
        "User-Agent: Mozilla/4.0\r\n",
    };
    for (const std::string& piece : pieces) {
        if (!SendText(socket, piece)) return Fail("send failed");
    }
    const size_t requestLength = body != nullptr ? body->size() : 0;
    if (requestLength != 0 && !SendText(socket, "Content-Length: " + std::to_string(requestLength) + "\r\n")) return Fail("send failed");
    if (!SendText(socket, "Host: " + target.host + "\r\n")) return Fail("send failed");
    if (!extraHeaders.empty() && !SendText(socket, extraHeaders)) return Fail("send failed");
    if (!SendText(socket, "\r\n")) return Fail("send failed");
    if (requestLength != 0 && !SendText(socket, *body)) return Fail("send failed");

    SocketSource source(socket);
    result = ReadResponse(source);
    if (!result.ok) return Fail(result.failure);
    return 0;
}

bool Request::SendRequest(const std::string& url, const std::u16string& body, std::u16string& header, std::u16string& answer)
{
    const std::string narrowBody = platform::Utf16ToAnsi(body);
    HttpAnswer result;
    const int status = SendHttp("Content-Type: application/x-www-form-urlencoded\r\n", &narrowBody, url, result);
    header = platform::AnsiToUtf16(result.headerText);
    answer = platform::AnsiToUtf16(result.body);
    return status == 0;
}

}  // namespace web
