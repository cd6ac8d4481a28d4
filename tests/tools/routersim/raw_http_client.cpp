#include "raw_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

namespace routersim_test {

routersim::UniqueFd ConnectLoopback(uint16_t port)
{
    routersim::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return fd;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
        const int error = errno;
        fd.Reset();
        errno = error;
    }
    return fd;
}

bool SendBytes(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::optional<std::string> ReadUntilClosed(int fd, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::string received;
    std::array<char, 4096> chunk{};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready <= 0) continue;
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return received;  // a reset after the answer still ends it
        if (got == 0) return received;
        received.append(chunk.data(), static_cast<size_t>(got));
    }
}

bool OpenAndQuiet(int fd)
{
    pollfd readable{fd, POLLIN, 0};
    return poll(&readable, 1, 0) == 0;
}

std::optional<std::string> Exchange(uint16_t port, std::string_view request, std::chrono::milliseconds timeout)
{
    const routersim::UniqueFd fd = ConnectLoopback(port);
    if (!fd.Valid() || !SendBytes(fd.Get(), request)) return std::nullopt;
    return ReadUntilClosed(fd.Get(), timeout);
}

std::string FormRequest(std::string_view body, std::string_view path)
{
    std::string request = "POST " + std::string(path) + " HTTP/1.0\r\n";
    request += "Accept: */*\r\n";
    request += "Accept-Language: en-us\r\n";
    request += "Accept-Encoding: gzip, deflate\r\n";
    request += "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "Host: 127.0.0.1\r\n";
    request += "Content-Type: application/x-www-form-urlencoded\r\n";
    request += "\r\n";
    request += body;
    return request;
}

std::optional<std::string> PostForm(uint16_t port, std::string_view body)
{
    const auto response = Exchange(port, FormRequest(body));
    if (!response) return std::nullopt;
    return BodyOf(*response);
}

std::optional<std::string> BodyOf(std::string_view response)
{
    const size_t blank = response.find("\r\n\r\n");
    if (blank == std::string_view::npos) return std::nullopt;
    return std::string(response.substr(blank + 4));
}

}  // namespace routersim_test
