#include "link_host_standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "link/little_endian.h"
#include "loopback_endpoint.h"

namespace routersim_test {
uint32_t At32(const Block& block, size_t offset)
{
    return devlink::ReadLe32(block, offset);
}

Block RequestBlock(uint8_t type, uint32_t seq, std::span<const uint8_t> data, uint32_t length, uint32_t fileSize, uint32_t param)
{
    Block block{};
    block[0] = type;
    devlink::WriteLe32(block, 1, param);
    devlink::WriteLe32(block, 5, seq);
    std::copy_n(data.begin(), std::min<size_t>(data.size(), 1350), block.begin() + 9);
    devlink::WriteLe32(block, 1359, length);
    devlink::WriteLe32(block, 1367, fileSize);
    return block;
}

Block StartBlock(uint8_t type, uint32_t seq, uint32_t fileSize)
{
    return RequestBlock(type, seq, {}, 1350, fileSize, 1392);
}

Block AnnouncementBlock(uint16_t port, uint32_t address)
{
    Block block{};
    block[0] = 0x6A;
    devlink::WriteLe32(block, 1, 114);
    devlink::WriteLe32(block, 5, 108);
    devlink::WriteLe32(block, 9, port);
    const uint32_t networkOrder = htonl(address);
    std::copy_n(reinterpret_cast<const uint8_t*>(&networkOrder), 4, block.begin() + 13);
    return block;
}

HostStandIn::HostStandIn()
{
    routersim::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in local = testing_support::LoopbackEndpoint(0);
    socklen_t length = sizeof(local);
    if (!fd.Valid() || bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 || listen(fd.Get(), 4) != 0 ||
        getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return;
    }
    port_ = ntohs(local.sin_port);
    listener_ = std::move(fd);
}

bool HostStandIn::SendDatagram(uint16_t udpPort, std::span<const uint8_t> bytes) const
{
    const routersim::UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in target = testing_support::LoopbackEndpoint(udpPort);
    return fd.Valid() && sendto(fd.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) ==
                             static_cast<ssize_t>(bytes.size());
}

bool HostStandIn::Announce(uint16_t udpPort) const
{
    return SendDatagram(udpPort, AnnouncementBlock(port_));
}

bool HostStandIn::Accept(std::chrono::milliseconds timeout)
{
    pollfd readable{listener_.Get(), POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(timeout.count())) != 1) return false;
    connection_.Reset(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    received_.clear();
    return connection_.Valid();
}

void HostStandIn::Disconnect()
{
    connection_.Reset();
    received_.clear();
}

bool HostStandIn::Send(std::span<const uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = send(connection_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(sent));
    }
    return true;
}

bool HostStandIn::SendTransfer(uint8_t type, uint32_t seq, std::span<const uint8_t> bytes)
{
    if (!Send(StartBlock(type, seq, static_cast<uint32_t>(bytes.size())))) return false;
    for (size_t at = 0; at < bytes.size(); at += 1350) {
        if (!Send(bytes.subspan(at, std::min<size_t>(1350, bytes.size() - at)))) return false;
    }
    return true;
}

HostStandIn::Read HostStandIn::ReadMore(std::chrono::milliseconds timeout)
{
    pollfd readable{connection_.Get(), POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(std::max<int64_t>(timeout.count(), 0)));
    if (ready == 0) return Read::kTimedOut;
    if (ready < 0) return errno == EINTR ? Read::kTimedOut : Read::kClosed;
    std::array<uint8_t, 65536> chunk{};
    const ssize_t got = recv(connection_.Get(), chunk.data(), chunk.size(), 0);
    if (got <= 0) return Read::kClosed;
    received_.insert(received_.end(), chunk.begin(), chunk.begin() + got);
    return Read::kData;
}

std::optional<Block> HostStandIn::Receive(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (received_.size() < Block{}.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ReadMore(left) == Read::kClosed) return std::nullopt;
    }
    Block block{};
    std::copy_n(received_.begin(), block.size(), block.begin());
    received_.erase(received_.begin(), received_.begin() + block.size());
    return block;
}

std::optional<Block> HostStandIn::Ask(const Block& request, std::chrono::milliseconds timeout)
{
    if (!Send(request)) return std::nullopt;
    return Receive(timeout);
}

bool HostStandIn::Quiet(std::chrono::milliseconds period)
{
    return received_.empty() && ReadMore(period) == Read::kTimedOut;
}

bool HostStandIn::WaitClosed(std::chrono::milliseconds timeout, std::vector<uint8_t>* before)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const Read read = ReadMore(left);
        if (read == Read::kTimedOut) continue;
        if (before != nullptr) before->insert(before->end(), received_.begin(), received_.end());
        received_.clear();
        if (read == Read::kClosed) return true;
    }
}

}  // namespace routersim_test
