#include "routersim/link_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "routersim/log.h"
#include "routersim/loopback_address.h"

namespace routersim {
namespace {

enum class Ready { kYes, kStopped, kTimedOut };

// Waits for `events` on `fd` or for the stop; a negative time-out waits for ever.
Ready WaitFor(int fd, short events, int stopFd, int timeoutMs = -1)
{
    while (true) {
        std::array<pollfd, 2> fds{{{fd, events, 0}, {stopFd, POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Ready::kTimedOut;
        if (ready < 0 || fds[1].revents != 0) return Ready::kStopped;
        return Ready::kYes;
    }
}

bool Retry(ssize_t result)
{
    return result < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK);
}

}  // namespace

IoResult ReadSome(int fd, int stopFd, std::span<uint8_t> buffer, size_t& got)
{
    while (true) {
        if (WaitFor(fd, POLLIN, stopFd) != Ready::kYes) return IoResult::kStopped;
        const ssize_t received = recv(fd, buffer.data(), buffer.size(), 0);
        if (Retry(received)) continue;
        if (received <= 0) return IoResult::kClosed;
        got = static_cast<size_t>(received);
        return IoResult::kDone;
    }
}

IoResult ReadExact(int fd, int stopFd, std::span<uint8_t> buffer)
{
    while (!buffer.empty()) {
        size_t got = 0;
        const IoResult result = ReadSome(fd, stopFd, buffer, got);
        if (result != IoResult::kDone) return result;
        buffer = buffer.subspan(got);
    }
    return IoResult::kDone;
}

IoResult SendAll(int fd, int stopFd, std::span<const uint8_t> bytes)
{
    while (!bytes.empty()) {
        if (WaitFor(fd, POLLOUT, stopFd) != Ready::kYes) return IoResult::kStopped;
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (Retry(sent)) continue;
        if (sent <= 0) return IoResult::kClosed;
        bytes = bytes.subspan(static_cast<size_t>(sent));
    }
    return IoResult::kDone;
}

bool PauseUnlessStopped(int stopFd, std::chrono::milliseconds pause)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + pause;
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return true;
        pollfd stop{stopFd, POLLIN, 0};
        const int ready = poll(&stop, 1, static_cast<int>(left.count()));
        if (ready > 0) return false;
    }
}

UniqueFd ConnectLoopback(const std::string& address, uint16_t port, int stopFd, std::chrono::milliseconds timeout)
{
    const std::string where = address + ":" + std::to_string(port);
    if (!IsPermittedAddress(address)) {
        LogLine(address + " is not a loopback address; the link side connects to loopback only");
        return UniqueFd();
    }
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        LogLine(std::string("socket: ") + std::strerror(errno));
        return fd;
    }
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &host.sin_addr);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&host), sizeof(host)) != 0 && errno != EINPROGRESS) {
        LogLine("connect to " + where + ": " + std::strerror(errno));
        return UniqueFd();
    }
    switch (WaitFor(fd.Get(), POLLOUT, stopFd, static_cast<int>(timeout.count()))) {
    case Ready::kYes: break;
    case Ready::kStopped: return UniqueFd();
    case Ready::kTimedOut:
        LogLine("connect to " + where + ": no answer in " + std::to_string(timeout.count()) + " ms");
        return UniqueFd();
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        LogLine("connect to " + where + ": " + std::strerror(error));
        return UniqueFd();
    }
    return fd;
}

}  // namespace routersim
