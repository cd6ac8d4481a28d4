#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <chrono>

#include "platform/clock.h"
#include "platform/tcp_traffic.h"
#include "win32/socket_wait.h"

namespace platform {
namespace {

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

// How long Close() lets a send or receive in progress end by itself before
// closing under it.
constexpr auto kCallEndWait = std::chrono::milliseconds(200);

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
    const SOCKET s = AsSocket(handle_);
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
    if (SelectFor(nullptr, &writable, &failed, timeoutMs) <= 0 || !FD_ISSET(s, &writable)) return false;
    u_long blocking = 0;
    return ::ioctlsocket(s, FIONBIO, &blocking) == 0;
}

bool TcpSocket::Send(const void* data, size_t size)
{
    std::lock_guard<std::timed_mutex> lock(sendLock_);
    const intptr_t handle = handle_;
    if (handle == -1) return false;
    const auto* bytes = static_cast<const char*>(data);
    traffic::CountSent(size);
    while (size > 0) {
        const int chunk = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
        const int sent = ::send(AsSocket(handle), bytes, chunk, 0);
        if (sent <= 0) {
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
    const intptr_t handle = handle_;
    if (handle == -1) return ReceiveStatus::kError;
    const SOCKET s = AsSocket(handle);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    const int ready = SelectFor(&readable, nullptr, nullptr, timeoutMs);
    if (ready == 0) return ReceiveStatus::kTimeout;
    if (ready < 0) return ReceiveStatus::kError;
    const int chunk = capacity > 0x10000000 ? 0x10000000 : static_cast<int>(capacity);
    const int got = ::recv(s, static_cast<char*>(buffer), chunk, 0);
    if (got == 0) return ReceiveStatus::kClosed;
    if (got < 0) return ReceiveStatus::kError;
    traffic::CountReceived(static_cast<uint64_t>(got));
    received = static_cast<size_t>(got);
    return ReceiveStatus::kData;
}

void TcpSocket::ConfigureSession()
{
    const SOCKET s = AsSocket(handle_);
    const BOOL on = TRUE;
    const int buffer = 16 * 1024 * 1024;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive values{1, 10000, 10000};
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

void TcpSocket::Shutdown()
{
    const intptr_t handle = handle_;
    if (handle != -1) ::shutdown(AsSocket(handle), SD_BOTH);
}

void TcpSocket::Close()
{
    // Winsock's shutdown() does not end a blocked send or receive; closing
    // the socket cancels them. A call about to end by itself is let finish
    // so that its handle is not reused under it; a blocked one is cancelled.
    std::unique_lock<std::timed_mutex> send(sendLock_, std::defer_lock);
    std::unique_lock<std::timed_mutex> receive(receiveLock_, std::defer_lock);
    static_cast<void>(send.try_lock_for(kCallEndWait));
    static_cast<void>(receive.try_lock_for(kCallEndWait));
    const intptr_t handle = handle_.exchange(-1);
    if (handle == -1) return;
    u_long unread = 0;
    if (::ioctlsocket(AsSocket(handle), FIONREAD, &unread) == 0 && unread > 0) traffic::CountReceived(unread);
    ::closesocket(AsSocket(handle));
}

int WaitForSockets(const std::vector<intptr_t>& read, const std::vector<intptr_t>& write, uint32_t timeoutUs,
                   std::vector<intptr_t>& readable, std::vector<intptr_t>& writable)
{
    readable.clear();
    writable.clear();
    fd_set readSet;
    fd_set writeSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    for (intptr_t handle : read) FD_SET(AsSocket(handle), &readSet);
    for (intptr_t handle : write) FD_SET(AsSocket(handle), &writeSet);
    const fd_set readStart = readSet;
    const fd_set writeStart = writeSet;
    int ready = 0;
    CurrentClock().WaitOutside(kNoDeadline, timeoutUs, [&](uint64_t realUs) {
        readSet = readStart;
        writeSet = writeStart;
        timeval limit = RealLimit(realUs);
        ready = ::select(0, read.empty() ? nullptr : &readSet, write.empty() ? nullptr : &writeSet, nullptr, &limit);
        return ready != 0;
    });
    if (ready <= 0) return ready < 0 ? -1 : 0;
    for (intptr_t handle : read) {
        if (FD_ISSET(AsSocket(handle), &readSet)) readable.push_back(handle);
    }
    for (intptr_t handle : write) {
        if (FD_ISSET(AsSocket(handle), &writeSet)) writable.push_back(handle);
    }
    return static_cast<int>(readable.size() + writable.size());
}

int LastSocketError() { return ::WSAGetLastError(); }

TcpListener::~TcpListener() { Close(); }

bool TcpListener::Listen(uint32_t address, uint16_t port) { return Bind(address, port) && StartListening(); }

bool TcpListener::Bind(uint32_t address, uint16_t port)
{
    if (handle_ == -1) {
        const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        handle_ = static_cast<intptr_t>(s);
        const BOOL on = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    return ::bind(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool TcpListener::StartListening() { return ::listen(AsSocket(handle_), SOMAXCONN) == 0; }

uint16_t TcpListener::Port() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(AsSocket(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

bool TcpListener::Accept(TcpSocket& connection, uint32_t timeoutMs, uint32_t* peerAddress, uint16_t* peerPort)
{
    const SOCKET s = AsSocket(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    if (SelectFor(&readable, nullptr, nullptr, timeoutMs) != 1) return false;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET accepted = ::accept(s, reinterpret_cast<sockaddr*>(&peer), &length);
    if (peerAddress != nullptr) *peerAddress = peer.sin_addr.s_addr;
    if (peerPort != nullptr) *peerPort = ntohs(peer.sin_port);
    if (accepted == INVALID_SOCKET) return false;
    connection.Close();
    connection.handle_ = static_cast<intptr_t>(accepted);
    return true;
}

void TcpListener::Close()
{
    if (handle_ != -1) ::closesocket(AsSocket(handle_));
    handle_ = -1;
}

}  // namespace platform
