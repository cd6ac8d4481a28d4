#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/clock.h"

namespace platform {
namespace {

SOCKET Handle(intptr_t handle) { return static_cast<SOCKET>(handle); }

timeval Timeout(uint32_t timeoutMs)
{
    const uint64_t us = ScaledMicroseconds(timeoutMs);
    timeval limit{};
    limit.tv_sec = static_cast<long>(us / 1000000);
    limit.tv_usec = static_cast<long>(us % 1000000);
    return limit;
}

}  // namespace

bool StartNetworking()
{
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

TcpSocket::~TcpSocket() { Close(); }

bool TcpSocket::Open()
{
    Close();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    return true;
}

bool TcpSocket::Connect(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    const SOCKET s = Handle(handle_);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit = Timeout(timeoutMs);
    if (::select(0, nullptr, &writable, &failed, &limit) <= 0 || !FD_ISSET(s, &writable)) return false;
    u_long blocking = 0;
    return ::ioctlsocket(s, FIONBIO, &blocking) == 0;
}

bool TcpSocket::Send(const void* data, size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int chunk = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
        const int sent = ::send(Handle(handle_), bytes, chunk, 0);
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

ReceiveStatus TcpSocket::Receive(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs)
{
    const SOCKET s = Handle(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit = Timeout(timeoutMs);
    const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
    if (ready == 0) return ReceiveStatus::kTimeout;
    if (ready < 0) return ReceiveStatus::kError;
    const int chunk = capacity > 0x10000000 ? 0x10000000 : static_cast<int>(capacity);
    const int got = ::recv(s, static_cast<char*>(buffer), chunk, 0);
    if (got == 0) return ReceiveStatus::kClosed;
    if (got < 0) return ReceiveStatus::kError;
    received = static_cast<size_t>(got);
    return ReceiveStatus::kData;
}

void TcpSocket::Close()
{
    if (handle_ != -1) ::closesocket(Handle(handle_));
    handle_ = -1;
}

TcpListener::~TcpListener() { Close(); }

bool TcpListener::Listen(uint32_t address, uint16_t port)
{
    Close();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    return ::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 && ::listen(s, SOMAXCONN) == 0;
}

uint16_t TcpListener::Port() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(Handle(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

bool TcpListener::Accept(TcpSocket& connection, uint32_t timeoutMs)
{
    const SOCKET s = Handle(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit = Timeout(timeoutMs);
    if (::select(0, &readable, nullptr, nullptr, &limit) != 1) return false;
    const SOCKET accepted = ::accept(s, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return false;
    connection.Close();
    connection.handle_ = static_cast<intptr_t>(accepted);
    return true;
}

void TcpListener::Close()
{
    if (handle_ != -1) ::closesocket(Handle(handle_));
    handle_ = -1;
}

}  // namespace platform
