#include "routersim/request_reader.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

namespace routersim {

ReadOutcome ReadRequest(int fd, int stopFd, RequestParser& parser, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::array<char, 4096> chunk{};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return ReadOutcome::kTimedOut;
        std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {stopFd, POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR) return ReadOutcome::kClosed;
        if (ready <= 0) continue;
        if (fds[1].revents != 0) return ReadOutcome::kStopped;
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ReadOutcome::kClosed;
        switch (parser.Feed(std::string_view(chunk.data(), static_cast<size_t>(got)))) {
        case RequestParser::Status::kComplete: return ReadOutcome::kRequest;
        case RequestParser::Status::kError: return ReadOutcome::kMalformed;
        case RequestParser::Status::kNeedMore: break;
        }
    }
}

}  // namespace routersim
