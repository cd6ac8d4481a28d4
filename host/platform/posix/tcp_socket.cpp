#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/clock.h"
#include "platform/tcp_traffic.h"

namespace platform {
namespace {

int PollMilliseconds(uint64_t realUs)
{
    const uint64_t ms = (realUs + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// poll() on one descriptor for at most `timeoutMs` of clock time: its
// result, 0 on time-out.
int PollFor(pollfd& watched, uint32_t timeoutMs)
{
    int result = 0;
    WaitOutsideFor(timeoutMs, [&](uint64_t realUs) {
        result = ::poll(&watched, 1, PollMilliseconds(realUs));
        return result != 0;
    });
    return result;
}

}  // namespace

bool StartNetworking() { return true; }

TcpSocket::~TcpSocket() { Close(); }

bool TcpSocket::Open()
{
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool TcpSocket::Connect(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    const int fd = static_cast<int>(handle_);
    if (fd < 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS) return false;
    pollfd writable{fd, POLLOUT, 0};
    if (PollFor(writable, timeoutMs) != 1) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

bool TcpSocket::Send(const void* data, size_t size)
{
    std::lock_guard<std::timed_mutex> lock(sendLock_);
    const int fd = static_cast<int>(handle_);
    if (fd < 0) return false;
    const auto* bytes = static_cast<const char*>(data);
    traffic::CountSent(size);
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) continue;
            traffic::UncountSent(size);
            return false;
        }
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

ReceiveStatus TcpSocket::Receive(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs)
{
    std::lock_guard<std::timed_mutex> lock(receiveLock_);
    const int fd = static_cast<int>(handle_);
    if (fd < 0) return ReceiveStatus::kError;
    pollfd readable{fd, POLLIN, 0};
    const int ready = PollFor(readable, timeoutMs);
    if (ready == 0) return ReceiveStatus::kTimeout;
    if (ready < 0) return ReceiveStatus::kError;
    const ssize_t got = ::recv(fd, buffer, capacity, 0);
    if (got == 0) return ReceiveStatus::kClosed;
    if (got < 0) return ReceiveStatus::kError;
    traffic::CountReceived(static_cast<uint64_t>(got));
    received = static_cast<size_t>(got);
    return ReceiveStatus::kData;
}

void TcpSocket::ConfigureSession()
{
    const int fd = static_cast<int>(handle_);
    const int on = 1;
    const int buffer = 16 * 1024 * 1024;
    const int keepAliveSeconds = 10;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &keepAliveSeconds, sizeof keepAliveSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &keepAliveSeconds, sizeof keepAliveSeconds);
}

void TcpSocket::Shutdown()
{
    const intptr_t handle = handle_;
    if (handle >= 0) ::shutdown(static_cast<int>(handle), SHUT_RDWR);
}

void TcpSocket::Close()
{
    std::scoped_lock lock(sendLock_, receiveLock_);
    const intptr_t handle = handle_.exchange(-1);
    if (handle < 0) return;
    int unread = 0;
    if (::ioctl(static_cast<int>(handle), FIONREAD, &unread) == 0 && unread > 0) traffic::CountReceived(static_cast<uint64_t>(unread));
    ::close(static_cast<int>(handle));
}

int WaitForSockets(const std::vector<intptr_t>& read, const std::vector<intptr_t>& write, uint32_t timeoutUs,
                   std::vector<intptr_t>& readable, std::vector<intptr_t>& writable)
{
    readable.clear();
    writable.clear();
    std::vector<pollfd> watched;
    for (intptr_t handle : read) watched.push_back(pollfd{static_cast<int>(handle), POLLIN, 0});
    for (intptr_t handle : write) watched.push_back(pollfd{static_cast<int>(handle), POLLOUT, 0});
    int ready = 0;
    CurrentClock().WaitOutside(kNoDeadline, timeoutUs, [&](uint64_t realUs) {
        const timespec limit{static_cast<time_t>(realUs / 1000000), static_cast<long>(realUs % 1000000) * 1000};
        ready = ::ppoll(watched.data(), watched.size(), &limit, nullptr);
        return ready != 0;
    });
    if (ready <= 0) return ready < 0 ? -1 : 0;
    for (size_t i = 0; i < watched.size(); ++i) {
        if (watched[i].revents == 0) continue;
        (i < read.size() ? readable : writable).push_back(watched[i].fd);
    }
    return static_cast<int>(readable.size() + writable.size());
}

int LastSocketError() { return errno; }

TcpListener::~TcpListener() { Close(); }

bool TcpListener::Listen(uint32_t address, uint16_t port) { return Bind(address, port) && StartListening(); }

bool TcpListener::Bind(uint32_t address, uint16_t port)
{
    if (handle_ < 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        handle_ = fd;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    return ::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool TcpListener::StartListening() { return ::listen(static_cast<int>(handle_), SOMAXCONN) == 0; }

uint16_t TcpListener::Port() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

bool TcpListener::Accept(TcpSocket& connection, uint32_t timeoutMs, uint32_t* peerAddress, uint16_t* peerPort)
{
    pollfd readable{static_cast<int>(handle_), POLLIN, 0};
    if (PollFor(readable, timeoutMs) != 1) return false;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (peerAddress != nullptr) *peerAddress = peer.sin_addr.s_addr;
    if (peerPort != nullptr) *peerPort = ntohs(peer.sin_port);
    if (fd < 0) return false;
    connection.Close();
    connection.handle_ = fd;
    return true;
}

void TcpListener::Close()
{
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform
