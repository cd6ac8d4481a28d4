// The rendezvous server. The router does not wait to be called: the host
// announces its address by UDP broadcast, the router connects to this TCP
// server, and every request and reply then travels over that connection as
// 1440-byte link blocks. Accepted connections wait in a list until a port
// claims one; a send thread and a receive thread move blocks between the
// claimed sockets and four session slots.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/host_address.h"
#include "link/link_block.h"
#include "link/session_log.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"

namespace devlink {

inline constexpr int kSessionSlots = 4;
inline constexpr uint32_t kAnnouncePeriodMs = 5000;

struct SockProducerSettings {
    uint16_t listenPort = 4536;
    std::string announceHost = "255.255.255.255";
    uint16_t announcePort = 3536;
    // The router's address: the announced host address is the local one
    // on the route to it, when that contains the host filter.
    std::string routerHost = "192.168.1.1";
    // Otherwise the first local address containing this text.
    std::string hostFilter = "192.168";
    // The folder whose "Logs" subfolder receives the session log.
    std::u16string logFolder;
};

class CSockProducer {
public:
    explicit CSockProducer(SockProducerSettings settings);
    // Writes "end" to the session log, stops the threads and closes every socket.
    ~CSockProducer();
    CSockProducer(const CSockProducer&) = delete;
    CSockProducer& operator=(const CSockProducer&) = delete;

    // 0 on success, -1 on failure.
    int InitInstance();
    int BindHost();
    // Chooses the local address to announce (network byte order), or 0,
    // and writes the choice and its reason to the diagnostic output.
    uint32_t HostAddress();
    // The last choice and the connections accepted so far; makes a choice
    // first when none has been made.
    AnnounceState Announcing();
    uint16_t ListenPort() const { return listener_.Port(); }

    // The oldest accepted connection, taken off the list; empty when none.
    std::shared_ptr<platform::TcpSocket> ClaimOldest();
    size_t AcceptedCount();
    int32_t SessionCount();
    void ChangeSessionCount(int delta);

    // Binds a claimed socket into send slot and receive slot `slot`.
    void BindSlot(int slot, std::shared_ptr<platform::TcpSocket> socket);
    bool SlotBound(int slot);
    // Hands a block to the send thread; false while the previous one is
    // still pending or when the slot has no socket.
    bool PostMessage(int slot, const LinkMessage& message);
    // Whether the slot's block still waits to be sent, read under the send lock.
    bool SendPending(int slot);
    bool HasMessage(int slot, uint32_t seq);
    // Takes the first queued message of the slot with this `seq`.
    bool TakeMessage(int slot, uint32_t seq, LinkMessage& message);
    void ClearQueue(int slot);
    size_t QueueSize(int slot);
    // Clears both slots under their locks (receive lock first) when they
    // still hold `socket`, and then lowers the session count; false when the
    // server had closed that session already. The caller closes the socket.
    bool UnbindSlot(int slot, const std::shared_ptr<platform::TcpSocket>& socket, bool clearPending);

    SessionLog& Log() { return log_; }

private:
    struct SendSlot {
        uint32_t counter = 0;
        std::shared_ptr<platform::TcpSocket> socket;
        bool pending = false;
        LinkBlock buffer{};
    };
    struct ReceiveSlot {
        uint32_t counter = 0;
        std::shared_ptr<platform::TcpSocket> socket;
        // Bytes of the block under way: TCP may deliver a block in pieces.
        std::vector<uint8_t> partial;
    };

    void ReceiveThread();
    void SendThread();
    void AnnouncementThread();
    void AcceptConnection();
    void ReceiveOn(int slot, const std::shared_ptr<platform::TcpSocket>& socket);
    void SendOn(int slot, const std::shared_ptr<platform::TcpSocket>& socket);
    // Shuts down and closes the slot's socket and frees both slots.
    void CloseSession(int slot, const std::shared_ptr<platform::TcpSocket>& socket, const char* text);

    SockProducerSettings settings_;
    platform::TcpListener listener_;
    std::atomic<bool> stop_{true};
    platform::StopSignal announceStop_;
    std::thread sendThread_;
    std::thread receiveThread_;
    std::thread announceThread_;

    std::mutex choiceLock_;
    HostAddressChoice lastChoice_;
    bool chosen_ = false;
    std::atomic<uint64_t> acceptedTotal_{0};

    std::mutex acceptedLock_;
    std::deque<std::shared_ptr<platform::TcpSocket>> accepted_;
    std::mutex countLock_;
    int32_t m_nCurSessionCount = 0;

    std::array<std::mutex, kSessionSlots> receiveLocks_;
    std::array<std::mutex, kSessionSlots> sendLocks_;
    std::array<SendSlot, kSessionSlots> sendSlots_;
    std::array<ReceiveSlot, kSessionSlots> receiveSlots_;
    std::array<std::deque<LinkMessage>, kSessionSlots> receiveQueues_;
    SessionLog log_;
};

}  // namespace devlink
