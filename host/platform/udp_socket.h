// A UDP socket for the rendezvous server's announcement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

struct LocalAddress {
    uint32_t address = 0;  // network byte order
    std::string adapter;   // the adapter's name; empty when unknown
};

// The IPv4 addresses of this PC, in the order the system lists them.
std::vector<LocalAddress> LocalIPv4Addresses();

// The port of the route question; a connected UDP socket sends nothing to it.
inline constexpr uint16_t kRouteProbePort = 9;

// The local address that the system would send from to reach `destination`
// (network byte order): the local name of a UDP socket connected to it.
// Nothing is sent. 0 when there is no route.
uint32_t RouteSourceAddress(uint32_t destination);

}  // namespace platform
