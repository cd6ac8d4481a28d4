#include "platform/udp_socket.h"

#include "platform/clock.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace platform {

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Open()
{
    Close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool UdpSocket::EnableBroadcast()
{
    const int on = 1;
    return ::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool UdpSocket::Bind(uint32_t address, uint16_t port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    return ::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool UdpSocket::SendTo(uint32_t address, uint16_t port, const void* data, size_t size)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    return ::sendto(static_cast<int>(handle_), data, size, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) ==
           static_cast<ssize_t>(size);
}

bool UdpSocket::ReceiveFrom(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs)
{
    pollfd readable{static_cast<int>(handle_), POLLIN, 0};
    int ready = 0;
    WaitOutsideFor(timeoutMs, [&](uint64_t realUs) {
        ready = ::poll(&readable, 1, static_cast<int>(std::min<uint64_t>((realUs + 999) / 1000, INT_MAX)));
        return ready != 0;
    });
    if (ready != 1) return false;
    const ssize_t got = ::recv(static_cast<int>(handle_), buffer, capacity, 0);
    if (got < 0) return false;
    received = static_cast<size_t>(got);
    return true;
}

uint16_t UdpSocket::Port() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

void UdpSocket::Close()
{
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

std::vector<LocalAddress> LocalIPv4Addresses()
{
    std::vector<LocalAddress> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return addresses;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        addresses.push_back({reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr, entry->ifa_name});
    }
    ::freeifaddrs(list);
    return addresses;
}

uint32_t RouteSourceAddress(uint32_t destination)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(kRouteProbePort);
    target.sin_addr.s_addr = destination;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool found = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    ::close(fd);
    return found ? local.sin_addr.s_addr : 0;
}

}  // namespace platform
