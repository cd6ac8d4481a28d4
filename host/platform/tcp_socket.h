// A TCP client socket (WinSock on Windows, BSD sockets elsewhere) with the
// waits the host needs: a connect limited in time and receives that give up
// after a silence. Every limit is in milliseconds of clock time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Starts the socket library (WSAStartup 1.1 on Windows); true when usable.
bool StartNetworking();

// The IPv4 address of `host` (a dotted quad resolves to itself), in network
// byte order; false when it cannot be resolved.
bool ResolveIPv4(const std::string& host, uint32_t& address);

enum class ReceiveStatus { kData, kClosed, kError, kTimeout };

// Waits at most `timeoutUs` real microseconds (a polling interval, not a
// protocol wait) until one of `read` is readable or one of `write`
// writable. The ready handles come back; -1 on error, else their count.
int WaitForSockets(const std::vector<intptr_t>& read, const std::vector<intptr_t>& write, uint32_t timeoutUs,
                   std::vector<intptr_t>& readable, std::vector<intptr_t>& writable);

// The last socket error code (WSAGetLastError, errno), for diagnostics.
int LastSocketError();

// Bytes handed to TcpSocket::Send() and bytes taken by Receive() (or found
// unread when a socket closed), over all sockets of the process. When both
// ends of every connection live in this process, the two are equal exactly
// when no byte is under way between them: a driven test clock waits for that.
struct TcpTraffic {
    uint64_t sent = 0;
    uint64_t received = 0;
};
TcpTraffic TcpTrafficTotals();

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
    // One send call's worth of work: sends all of `data` or fails. Safe
    // beside Receive(), Shutdown() and Close() from other threads.
    bool Send(const void* data, size_t size);
    // Receives up to `capacity` bytes; `received` is set for kData. Safe
    // beside Send(), Shutdown() and Close() from other threads; a receive
    // that another thread may close under should wait briefly, as Close()
    // waits for it (Shutdown() wakes it on Linux, not under Winsock).
    ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received, uint32_t timeoutMs);
    // A session socket of the rendezvous server: TCP_NODELAY, 16 MiB
    // buffers, keep-alive probes after 10 s idle, 10 s apart.
    void ConfigureSession();
    // Ends both directions, waking a send in progress on Linux; the handle
    // stays until Close().
    void Shutdown();
    // Waits for a send or receive in progress (call Shutdown() first to
    // end a send).
    void Close();
    bool IsOpen() const { return handle_ != -1; }
    intptr_t Handle() const { return handle_; }

private:
    friend class TcpListener;
    std::atomic<intptr_t> handle_{-1};
    // Held by Send(), Receive() and Close(): the handle is not closed under
    // a send or a receive, whose descriptor number could otherwise belong
    // to another file by the time the call runs. (Under Winsock, Close()
    // waits a moment and then cancels a blocked call by closing under it.)
    std::timed_mutex sendLock_;
    std::timed_mutex receiveLock_;
};

// A listening TCP socket.
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds `address` (network byte order) and `port` (0: any free port)
    // and listens with the largest backlog.
    bool Listen(uint32_t address, uint16_t port);
    // The same in two steps, for callers that retry each.
    bool Bind(uint32_t address, uint16_t port);
    bool StartListening();
    uint16_t Port() const;
    // Waits at most `timeoutMs` of clock time for a connection; the peer's
    // address (network byte order) and port come back when asked for.
    bool Accept(TcpSocket& connection, uint32_t timeoutMs, uint32_t* peerAddress = nullptr, uint16_t* peerPort = nullptr);
    void Close();
    intptr_t Handle() const { return handle_; }

private:
    intptr_t handle_ = -1;
};

}  // namespace platform
