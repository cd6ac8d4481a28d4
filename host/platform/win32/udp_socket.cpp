#include "platform/udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

#include "platform/clock.h"
#include "platform/text.h"
#include "win32/socket_wait.h"

namespace platform {
namespace {

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Open()
{
    Close();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    return true;
}

bool UdpSocket::EnableBroadcast()
{
    const BOOL on = TRUE;
    return ::setsockopt(AsSocket(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool UdpSocket::Bind(uint32_t address, uint16_t port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    return ::bind(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool UdpSocket::SendTo(uint32_t address, uint16_t port, const void* data, size_t size)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    return ::sendto(AsSocket(handle_), static_cast<const char*>(data), static_cast<int>(size), 0, reinterpret_cast<const sockaddr*>(&target),
                    sizeof target) == static_cast<int>(size);
}

bool UdpSocket::ReceiveFrom(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs)
{
    const SOCKET s = AsSocket(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    if (SelectFor(&readable, nullptr, nullptr, timeoutMs) != 1) return false;
    const int got = ::recv(s, static_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (got < 0) return false;
    received = static_cast<size_t>(got);
    return true;
}

uint16_t UdpSocket::Port() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(AsSocket(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

void UdpSocket::Close()
{
    if (handle_ != -1) ::closesocket(AsSocket(handle_));
    handle_ = -1;
}

namespace {

// The friendly name of the adapter that holds each unicast IPv4 address.
std::vector<LocalAddress> AdapterAddresses()
{
    std::vector<LocalAddress> found;
    ULONG size = 16384;
    std::unique_ptr<uint8_t[]> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer = std::make_unique<uint8_t[]>(size);
        status = ::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (status != NO_ERROR) return found;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter != nullptr; adapter = adapter->Next) {
        const std::u16string name = adapter->FriendlyName != nullptr ? reinterpret_cast<const char16_t*>(adapter->FriendlyName) : u"";
        for (IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            if (unicast->Address.lpSockaddr == nullptr || unicast->Address.lpSockaddr->sa_family != AF_INET) continue;
            found.push_back({reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr)->sin_addr.s_addr, Utf16ToUtf8(name)});
        }
    }
    return found;
}

}  // namespace

// The host's addresses by its name, as gethostbyname lists them, each with
// the name of the adapter that holds it.
std::vector<LocalAddress> LocalIPv4Addresses()
{
    std::vector<LocalAddress> addresses;
    char name[120] = {};
    if (::gethostname(name, sizeof name) != 0) return addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0) return addresses;
    const std::vector<LocalAddress> adapters = AdapterAddresses();
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const uint32_t address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (const LocalAddress& known : addresses) seen = seen || known.address == address;
        if (seen) continue;
        LocalAddress local{address, {}};
        for (const LocalAddress& adapter : adapters) {
            if (adapter.address == address) local.adapter = adapter.adapter;
        }
        addresses.push_back(local);
    }
    ::freeaddrinfo(found);
    return addresses;
}

uint32_t RouteSourceAddress(uint32_t destination)
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return 0;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(kRouteProbePort);
    target.sin_addr.s_addr = destination;
    sockaddr_in local{};
    int length = sizeof local;
    const bool found = ::connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    ::closesocket(s);
    return found ? local.sin_addr.s_addr : 0;
}

}  // namespace platform
