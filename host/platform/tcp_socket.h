// A TCP client socket (WinSock on Windows, BSD sockets elsewhere) with the
// waits the host needs: a connect limited in time and receives that give up
// after a silence. Every limit is in milliseconds of scaled time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Starts the socket library (WSAStartup 1.1 on Windows); true when usable.
bool StartNetworking();

// The IPv4 address of `host` (a dotted quad resolves to itself), in network
// byte order; false when it cannot be resolved.
bool ResolveIPv4(const std::string& host, uint32_t& address);

enum class ReceiveStatus { kData, kClosed, kError, kTimeout };

class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool Open();
    // Non-blocking connect, waits until the socket is writable (or fails),
    // then switches back to blocking.
    bool Connect(uint32_t address, uint16_t port, uint32_t timeoutMs);
    // One send call's worth of work: sends all of `data` or fails.
    bool Send(const void* data, size_t size);
    // Receives up to `capacity` bytes; `received` is set for kData.
    ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs);
    void Close();
    bool IsOpen() const { return handle_ != -1; }

private:
    friend class TcpListener;
    intptr_t handle_ = -1;
};

// A listening TCP socket.
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds `address` (network byte order) and `port` (0: any free port).
    bool Listen(uint32_t address, uint16_t port);
    uint16_t Port() const;
    // Waits at most `timeoutMs` of scaled time for a connection.
    bool Accept(TcpSocket& connection, uint32_t timeoutMs);
    void Close();

private:
    intptr_t handle_ = -1;
};

}  // namespace platform
