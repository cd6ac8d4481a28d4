// A UDP socket for the rendezvous server's announcement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool Open();
    bool EnableBroadcast();
    // Binds to a local address (network byte order) so that datagrams leave
    // on that address's network; port 0: any.
    bool Bind(uint32_t address, uint16_t port);
    bool SendTo(uint32_t address, uint16_t port, const void* data, size_t size);
    // One datagram, waiting at most `timeoutMs` of clock time; false on
    // time-out or error.
    bool ReceiveFrom(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs);
    uint16_t Port() const;
    void Close();

private:
    intptr_t handle_ = -1;
};

// The IPv4 addresses of this PC (network byte order), in the order the
// system lists them.
std::vector<uint32_t> LocalIPv4Addresses();

}  // namespace platform
