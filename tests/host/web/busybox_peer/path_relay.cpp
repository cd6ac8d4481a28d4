#include "path_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include "../../support/loopback_endpoint.h"

namespace busybox_peer {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequestLine = 8192;
constexpr auto kIdleTimeout = std::chrono::seconds(10);
constexpr timeval kSendTimeout{2, 0};

void LogError(const char* what)
{
    std::fprintf(stderr, "busybox_peer: relay: %s: %s\n", what, std::strerror(errno));
}

bool SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

int Milliseconds(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection()
    {
        if (fd_ >= 0) close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

bool PathRelay::Start(uint16_t targetPort, std::string fromPath, std::string toPath)
{
    if (listener_ >= 0) return false;
    targetPort_ = targetPort;
    fromPath_ = std::move(fromPath);
    toPath_ = std::move(toPath);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        LogError("pipe");
        return false;
    }
    stopRead_ = pipeFds[0];
    stopWrite_ = pipeFds[1];
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local = testing_support::LoopbackEndpoint(0);
    socklen_t length = sizeof(local);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        LogError("listen on loopback");
        Stop();
        return false;
    }
    port_ = ntohs(local.sin_port);
    acceptThread_ = std::thread(&PathRelay::AcceptLoop, this);
    return true;
}

void PathRelay::Stop()
{
    if (stopWrite_ >= 0) {
        const char byte = 1;
        const ssize_t written = write(stopWrite_, &byte, 1);
        static_cast<void>(written);  // the pipe is fresh; one byte always fits
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    for (Worker& worker : workers_) worker.thread.join();
    workers_.clear();
    for (int* fd : {&listener_, &stopRead_, &stopWrite_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    port_ = 0;
}

void PathRelay::AcceptLoop()
{
    while (true) {
        std::array<pollfd, 2> fds{{{stopRead_, POLLIN, 0}, {listener_, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            LogError("poll");
            return;
        }
        if (fds[0].revents != 0) return;
        ReapWorkers();
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, client, done] {
            Relay(client);
            *done = true;
        });
        workers_.push_back(Worker{std::move(thread), std::move(done)});
    }
}

void PathRelay::ReapWorkers()
{
    const auto finished = std::partition(workers_.begin(), workers_.end(), [](const Worker& worker) { return !*worker.done; });
    for (auto it = finished; it != workers_.end(); ++it) it->thread.join();
    workers_.erase(finished, workers_.end());
}

std::string PathRelay::Rewrite(const std::string& requestLine) const
{
    const size_t targetStart = requestLine.find(' ');
    if (targetStart == std::string::npos) return requestLine;
    const size_t targetEnd = requestLine.find(' ', targetStart + 1);
    if (targetEnd == std::string::npos) return requestLine;
    const std::string target = requestLine.substr(targetStart + 1, targetEnd - targetStart - 1);
    if (target != fromPath_ && target.rfind(fromPath_ + "?", 0) != 0) return requestLine;
    return requestLine.substr(0, targetStart + 1) + toPath_ + target.substr(fromPath_.size()) + requestLine.substr(targetEnd);
}

void PathRelay::Relay(int clientFd) const
{
    const Connection client(clientFd);
    setsockopt(client.Fd(), SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof(kSendTimeout));
    Clock::time_point deadline = Clock::now() + kIdleTimeout;
    std::array<char, 4096> chunk{};

    std::string head;
    while (head.find('\n') == std::string::npos && head.size() < kMaxRequestLine) {
        std::array<pollfd, 2> fds{{{client.Fd(), POLLIN, 0}, {stopRead_, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), Milliseconds(deadline)) <= 0 || fds[1].revents != 0) return;
        const ssize_t got = recv(client.Fd(), chunk.data(), chunk.size(), 0);
        if (got <= 0) return;
        head.append(chunk.data(), static_cast<size_t>(got));
    }
    const size_t lineEnd = head.find('\n');
    if (lineEnd != std::string::npos) head = Rewrite(head.substr(0, lineEnd + 1)) + head.substr(lineEnd + 1);

    const Connection server(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in target = testing_support::LoopbackEndpoint(targetPort_);
    if (server.Fd() < 0 || connect(server.Fd(), reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
        LogError("connect to busybox httpd");
        return;
    }
    setsockopt(server.Fd(), SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof(kSendTimeout));
    if (!SendAll(server.Fd(), head)) return;

    bool clientOpen = true;
    while (true) {
        std::array<pollfd, 3> fds{{{server.Fd(), POLLIN, 0}, {clientOpen ? client.Fd() : -1, POLLIN, 0}, {stopRead_, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), Milliseconds(deadline)) <= 0 || fds[2].revents != 0) return;
        deadline = Clock::now() + kIdleTimeout;
        if (fds[0].revents != 0) {
            const ssize_t got = recv(server.Fd(), chunk.data(), chunk.size(), 0);
            if (got <= 0) {
                shutdown(client.Fd(), SHUT_WR);
                return;
            }
            if (!SendAll(client.Fd(), std::string_view(chunk.data(), static_cast<size_t>(got)))) return;
        }
        if (fds[1].revents != 0) {
            const ssize_t got = recv(client.Fd(), chunk.data(), chunk.size(), 0);
            if (got <= 0) {
                clientOpen = false;
                shutdown(server.Fd(), SHUT_WR);
            } else if (!SendAll(server.Fd(), std::string_view(chunk.data(), static_cast<size_t>(got)))) {
                return;
            }
        }
    }
}

}  // namespace busybox_peer
