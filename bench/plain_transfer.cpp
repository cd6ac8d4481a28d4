#include "plain_transfer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "routersim/unique_fd.h"
#include "loopback_endpoint.h"

namespace bench {
namespace {

using routersim::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr size_t kPiece = 1350;
constexpr size_t kChunkBytes = 256 * 1024;

// Receives `count` bytes from the first connection, as the link side keeps a file.
void Receive(int listener, size_t count, std::vector<uint8_t>& kept, Clock::time_point& done)
{
    const UniqueFd connection(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection.Valid()) return;
    kept.reserve(count);
    std::vector<uint8_t> chunk(kChunkBytes);
    while (kept.size() < count) {
        const ssize_t got = recv(connection.Get(), chunk.data(), std::min(chunk.size(), count - kept.size()), 0);
        if (got <= 0) break;
        kept.insert(kept.end(), chunk.begin(), chunk.begin() + got);
    }
    done = Clock::now();
}

}  // namespace

std::optional<PlainResult> PlainTransfer(const std::vector<uint8_t>& bytes)
{
    const UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in local = testing_support::LoopbackEndpoint(0);
    socklen_t length = sizeof(local);
    if (!listener.Valid() || bind(listener.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(listener.Get(), 1) != 0 || getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return std::nullopt;
    }
    PlainResult result;
    Clock::time_point done{};
    std::thread receiver(Receive, listener.Get(), bytes.size(), std::ref(result.received), std::ref(done));

    const UniqueFd sender(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    const int buffer = 16 * 1024 * 1024;
    setsockopt(sender.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    setsockopt(sender.Get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof(buffer));
    setsockopt(sender.Get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof(buffer));
    bool sent = connect(sender.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0;
    const Clock::time_point begin = Clock::now();
    for (size_t at = 0; sent && at < bytes.size();) {
        const ssize_t count = send(sender.Get(), bytes.data() + at, std::min(kPiece, bytes.size() - at), MSG_NOSIGNAL);
        if (count <= 0) sent = false;
        if (count > 0) at += static_cast<size_t>(count);
    }
    if (!sent) shutdown(listener.Get(), SHUT_RDWR);
    receiver.join();
    if (!sent) return std::nullopt;
    result.seconds = std::chrono::duration<double>(done - begin).count();
    return result;
}

}  // namespace bench
