#include "link/sock_producer.h"

#include <algorithm>

#include "link/debug_text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/text.h"
#include "platform/udp_socket.h"

namespace devlink {
namespace {

constexpr int kBindAttempts = 50;
constexpr uint32_t kBindPauseMs = 500;
constexpr uint32_t kSelectTimeoutUs = 500;
constexpr uint32_t kIdlePauseMs = 10;
constexpr uint32_t kStartSettleMs = 1000;
constexpr size_t kMaxAcceptedList = 4;

// The server's idle pause: a polling interval in real time, not a protocol wait.
void IdlePause() { platform::PollPause(kIdlePauseMs * 1000); }

}  // namespace

CSockProducer::CSockProducer(SockProducerSettings settings) : settings_(std::move(settings)) {}

CSockProducer::~CSockProducer()
{
    log_.Close();
    stop_ = true;
    announceStop_.Request();
    if (sendThread_.joinable()) sendThread_.join();
    if (receiveThread_.joinable()) receiveThread_.join();
    if (announceThread_.joinable()) announceThread_.join();
    for (int slot = 0; slot < kSessionSlots; ++slot) {
        if (!receiveSlots_[slot].socket) continue;
        receiveSlots_[slot].socket->Shutdown();
        receiveSlots_[slot].socket->Close();
    }
    for (const auto& socket : accepted_) socket->Close();
}

uint32_t CSockProducer::HostAddress()
{
    const std::vector<platform::LocalAddress> locals = platform::LocalIPv4Addresses();
    if (locals.empty()) Debug(Format("KR710 gethostbyname() Error,error code is %d return.", platform::LastSocketError()));
    uint32_t router = 0;
    if (!platform::ResolveIPv4(settings_.routerHost, router)) router = 0;
    HostAddressChoice choice = ChooseHostAddress(locals, router, router == 0 ? 0 : platform::RouteSourceAddress(router), settings_.hostFilter);
    for (const std::string& line : choice.diagnostics) Debug(line);
    const uint32_t address = choice.address;
    std::lock_guard<std::mutex> lock(choiceLock_);
    lastChoice_ = std::move(choice);
    chosen_ = true;
    return address;
}

AnnounceState CSockProducer::Announcing()
{
    bool chosen = false;
    {
        std::lock_guard<std::mutex> lock(choiceLock_);
        chosen = chosen_;
    }
    if (!chosen) HostAddress();
    AnnounceState state;
    std::lock_guard<std::mutex> lock(choiceLock_);
    state.chosen = true;
    state.address = lastChoice_.address;
    state.adapter = lastChoice_.adapter;
    state.filter = settings_.hostFilter;
    state.accepted = acceptedTotal_;
    state.listenPort = listener_.Port();
    return state;
}

int CSockProducer::BindHost()
{
    bool bound = false;
    for (int attempt = 0; attempt < kBindAttempts && !bound; ++attempt) {
        bound = listener_.Bind(0, settings_.listenPort);
        if (!bound) {
            Debug(Format("KR710 Bind error: %d\n", platform::LastSocketError()));
            platform::SleepMs(kBindPauseMs);
        }
    }
    if (!bound) return -1;
    Debug("KR710 Bind OK!\n");
    bool listening = false;
    for (int attempt = 0; attempt < kBindAttempts && !listening; ++attempt) {
        listening = listener_.StartListening();
        if (!listening) {
            Debug(Format("KR710 listen error: %d\n", platform::LastSocketError()));
            platform::SleepMs(kBindPauseMs);
        }
    }
    if (!listening) return -1;
    Debug("KR710 Listen OK!\n");
    return 0;
}

int CSockProducer::InitInstance()
{
    if (!platform::StartNetworking()) {
        // The misspelt diagnostic texts of this file are kept as the device's software expects it.
        Debug("KR710 WSAStartupe failed");
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(acceptedLock_);
        accepted_.clear();
    }
    if (BindHost() != 0) {
        Debug("KR710 BindHost failed");
        return -1;
    }
    stop_ = false;
    sendThread_ = std::thread([this] { SendThread(); });
    receiveThread_ = std::thread([this] { ReceiveThread(); });
    announceThread_ = std::thread([this] { AnnouncementThread(); });
    platform::SleepMs(kStartSettleMs);
    const std::u16string separator(1, platform::kPathSeparator);
    log_.Open(settings_.logFolder + separator + u"Logs" + separator + u"Log_" +
              platform::Utf8ToUtf16(SessionLogStamp(platform::CurrentLocalTime())) + u".txt");
    return 0;
}

void CSockProducer::AnnouncementThread()
{
    platform::UdpSocket socket;
    uint32_t destination = 0;
    const bool ready = socket.Open() && socket.EnableBroadcast() && platform::ResolveIPv4(settings_.announceHost, destination);
    uint32_t boundTo = 0;
    while (announceStop_.SleepFor(kAnnouncePeriodMs)) {
        const int32_t sessions = SessionCount();
        if (sessions >= kSessionSlots) {
            Debug(Format("KR710 CSockProducer::m_nCurSessionCount is %d\n", sessions));
            continue;
        }
        const uint32_t host = HostAddress();
        if (host == 0 || !ready) continue;
        // The datagram leaves on the network of the announced address, not
        // by whichever adapter the routing table prefers.
        if (host != boundTo) {
            socket.Close();
            socket.Open();
            socket.EnableBroadcast();
            boundTo = socket.Bind(host, 0) ? host : 0;
        }
        const LinkBlock block = EncodeBlock(AnnouncementMessage(listener_.Port(), host));
        // "BraodcastMsg" and "successed": kept as the device's software expects it.
        if (socket.SendTo(destination, settings_.announcePort, block.data(), block.size())) {
            Debug("KR710 Send BraodcastMsg successed!");
        } else {
            Debug(Format("KR710 Send BraodcastMsg error: %d\n", platform::LastSocketError()));
        }
    }
}

void CSockProducer::ReceiveThread()
{
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    while (!stop_) {
        std::vector<intptr_t> watched;
        const bool accepting = SessionCount() <= kSessionSlots - 1;
        if (accepting) watched.push_back(listener_.Handle());
        std::array<std::shared_ptr<platform::TcpSocket>, kSessionSlots> sockets;
        for (int slot = 0; slot < kSessionSlots; ++slot) {
            std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
            sockets[slot] = receiveSlots_[slot].socket;
            if (sockets[slot] && sockets[slot]->IsOpen() &&
                std::find(watched.begin(), watched.end(), sockets[slot]->Handle()) == watched.end()) {
                watched.push_back(sockets[slot]->Handle());
            }
        }
        if (watched.empty()) {
            IdlePause();
            continue;
        }
        if (platform::WaitForSockets(watched, {}, kSelectTimeoutUs, readable, writable) < 0) {
            Debug(Format(" KR710 Recv select error: %d\n", platform::LastSocketError()));
            IdlePause();
            continue;
        }
        auto isReadable = [&readable](intptr_t handle) { return std::find(readable.begin(), readable.end(), handle) != readable.end(); };
        if (accepting && SessionCount() < kSessionSlots && isReadable(listener_.Handle())) AcceptConnection();
        for (int slot = 0; slot < kSessionSlots; ++slot) {
            if (sockets[slot] && isReadable(sockets[slot]->Handle())) ReceiveOn(slot, sockets[slot]);
        }
        if (readable.empty()) IdlePause();
    }
}

void CSockProducer::AcceptConnection()
{
    auto socket = std::make_shared<platform::TcpSocket>();
    uint32_t peerAddress = 0;
    uint16_t peerPort = 0;
    if (!listener_.Accept(*socket, 0, &peerAddress, &peerPort)) return;
    Debug("KR710 Connect from address " + DottedAddress(peerAddress) + "\n");
    Debug(Format("KR710  Connect from port %d, Produce Sock=%d\n", peerPort, static_cast<int>(socket->Handle())));
    socket->ConfigureSession();
    ++acceptedTotal_;
    std::shared_ptr<platform::TcpSocket> dropped;
    {
        std::lock_guard<std::mutex> lock(acceptedLock_);
        if (accepted_.size() > kMaxAcceptedList) {
            dropped = accepted_.front();
            accepted_.pop_front();
        }
        accepted_.push_back(socket);
    }
    if (dropped) {
        // Nobody will use it again: close it rather than leave it open.
        dropped->Shutdown();
        dropped->Close();
        ChangeSessionCount(-1);
    }
    ChangeSessionCount(+1);
}

void CSockProducer::ReceiveOn(int slot, const std::shared_ptr<platform::TcpSocket>& socket)
{
    ReceiveSlot& receive = receiveSlots_[slot];
    uint8_t buffer[kBlockSize];
    size_t have = 0;
    {
        std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
        if (receive.socket != socket) return;
        have = receive.partial.size();
    }
    size_t received = 0;
    const platform::ReceiveStatus status = socket->Receive(buffer, kBlockSize - have, received, 0);
    if (status == platform::ReceiveStatus::kTimeout) return;
    if (status == platform::ReceiveStatus::kClosed) {
        Debug(Format("KR710 Recv Client: %d closed!\n", slot));
        CloseSession(slot, socket, "KR710 receive error, close socket!!!");
        return;
    }
    if (status == platform::ReceiveStatus::kError) {
        Debug(Format("KR710 Client socket %d recv error %d !\n", static_cast<int>(socket->Handle()), platform::LastSocketError()));
        Debug(Format("KR710 Client socket %d closed!\n", static_cast<int>(socket->Handle())));
        CloseSession(slot, socket, "KR710 receive socket error, close socket!!!");
        return;
    }
    std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
    if (receive.socket != socket) return;
    receive.partial.insert(receive.partial.end(), buffer, buffer + received);
    if (receive.partial.size() < kBlockSize) return;
    ++receive.counter;
    Debug(Format("KR710 Receive success, Recv client %u No: %u \n", static_cast<unsigned>(slot), receive.counter));
    LinkMessage message;
    DecodeBlock(std::span<const uint8_t, kBlockSize>(receive.partial.data(), kBlockSize), message);
    receive.partial.clear();
    receiveQueues_[slot].push_back(message);
}

void CSockProducer::CloseSession(int slot, const std::shared_ptr<platform::TcpSocket>& socket, const char* text)
{
    {
        std::lock_guard<std::mutex> receiveLock(receiveLocks_[slot]);
    std::lock_guard<std::mutex> sendLock(sendLocks_[slot]);
        if (receiveSlots_[slot].socket != socket && sendSlots_[slot].socket != socket) return;
        socket->Shutdown();
        socket->Close();
        Debug(text);
        receiveSlots_[slot].socket.reset();
        receiveSlots_[slot].partial.clear();
        sendSlots_[slot].socket.reset();
        sendSlots_[slot].buffer.fill(0);
        sendSlots_[slot].pending = false;
    }
    ChangeSessionCount(-1);
}

void CSockProducer::SendThread()
{
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    while (!stop_) {
        std::array<std::shared_ptr<platform::TcpSocket>, kSessionSlots> sockets;
        std::vector<intptr_t> watched;
        for (int slot = 0; slot < kSessionSlots; ++slot) {
            std::lock_guard<std::mutex> lock(sendLocks_[slot]);
            if (!sendSlots_[slot].pending || !sendSlots_[slot].socket || !sendSlots_[slot].socket->IsOpen()) continue;
            sockets[slot] = sendSlots_[slot].socket;
            if (std::find(watched.begin(), watched.end(), sockets[slot]->Handle()) == watched.end()) watched.push_back(sockets[slot]->Handle());
        }
        if (watched.empty()) {
            IdlePause();
            continue;
        }
        if (platform::WaitForSockets({}, watched, kSelectTimeoutUs, readable, writable) < 0) {
            Debug(Format(" KR710 Send select error: %d\n", platform::LastSocketError()));
            IdlePause();
            continue;
        }
        for (int slot = 0; slot < kSessionSlots; ++slot) {
            if (sockets[slot] && std::find(writable.begin(), writable.end(), sockets[slot]->Handle()) != writable.end()) {
                SendOn(slot, sockets[slot]);
            }
        }
    }
}

void CSockProducer::SendOn(int slot, const std::shared_ptr<platform::TcpSocket>& socket)
{
    LinkBlock block;
    {
        std::lock_guard<std::mutex> lock(sendLocks_[slot]);
        if (sendSlots_[slot].socket != socket || !sendSlots_[slot].pending) return;
        block = sendSlots_[slot].buffer;
    }
    if (socket->Send(block.data(), block.size())) {
        std::lock_guard<std::mutex> lock(sendLocks_[slot]);
        ++sendSlots_[slot].counter;
        sendSlots_[slot].pending = false;
        Debug(" KR710 Send success!");
        return;
    }
    Debug(Format(" KR710 Client socket %d send error %d !\n", static_cast<int>(socket->Handle()), platform::LastSocketError()));
    Debug(Format("KR710 Client socket %d closed!\n", static_cast<int>(socket->Handle())));
    CloseSession(slot, socket, "KR710 send error, close socket!!!");
}

std::shared_ptr<platform::TcpSocket> CSockProducer::ClaimOldest()
{
    std::lock_guard<std::mutex> lock(acceptedLock_);
    if (accepted_.empty()) return nullptr;
    auto socket = accepted_.front();
    accepted_.pop_front();
    return socket;
}

size_t CSockProducer::AcceptedCount()
{
    std::lock_guard<std::mutex> lock(acceptedLock_);
    return accepted_.size();
}

int32_t CSockProducer::SessionCount()
{
    std::lock_guard<std::mutex> lock(countLock_);
    return m_nCurSessionCount;
}

void CSockProducer::ChangeSessionCount(int delta)
{
    std::lock_guard<std::mutex> lock(countLock_);
    m_nCurSessionCount += delta;
}

void CSockProducer::BindSlot(int slot, std::shared_ptr<platform::TcpSocket> socket)
{
    std::lock_guard<std::mutex> receiveLock(receiveLocks_[slot]);
    std::lock_guard<std::mutex> sendLock(sendLocks_[slot]);
    receiveSlots_[slot].socket = socket;
    receiveSlots_[slot].partial.clear();
    // Replies left from the slot's earlier session (one that came after its
    // port stopped waiting) would otherwise be taken for the new router's.
    receiveQueues_[slot].clear();
    sendSlots_[slot].socket = std::move(socket);
    sendSlots_[slot].pending = false;
}

bool CSockProducer::SlotBound(int slot)
{
    std::lock_guard<std::mutex> lock(sendLocks_[slot]);
    return sendSlots_[slot].socket != nullptr;
}

bool CSockProducer::PostMessage(int slot, const LinkMessage& message)
{
    std::lock_guard<std::mutex> lock(sendLocks_[slot]);
    if (!sendSlots_[slot].socket || sendSlots_[slot].pending) return false;
    sendSlots_[slot].buffer = EncodeBlock(message);
    sendSlots_[slot].pending = true;
    return true;
}

bool CSockProducer::SendPending(int slot)
{
    std::lock_guard<std::mutex> lock(sendLocks_[slot]);
    return sendSlots_[slot].pending;
}

bool CSockProducer::TakeMessage(int slot, uint32_t seq, LinkMessage& message)
{
    std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
    auto& queue = receiveQueues_[slot];
    const auto found = std::find_if(queue.begin(), queue.end(), [seq](const LinkMessage& queued) { return queued.seq == seq; });
    if (found == queue.end()) return false;
    message = *found;
    queue.erase(found);
    return true;
}

bool CSockProducer::HasMessage(int slot, uint32_t seq)
{
    std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
    const auto& queue = receiveQueues_[slot];
    return std::any_of(queue.begin(), queue.end(), [seq](const LinkMessage& queued) { return queued.seq == seq; });
}

void CSockProducer::ClearQueue(int slot)
{
    std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
    receiveQueues_[slot].clear();
}

size_t CSockProducer::QueueSize(int slot)
{
    std::lock_guard<std::mutex> lock(receiveLocks_[slot]);
    return receiveQueues_[slot].size();
}

bool CSockProducer::UnbindSlot(int slot, const std::shared_ptr<platform::TcpSocket>& socket, bool clearPending)
{
    {
        std::lock_guard<std::mutex> receiveLock(receiveLocks_[slot]);
        std::lock_guard<std::mutex> sendLock(sendLocks_[slot]);
        if (receiveSlots_[slot].socket != socket && sendSlots_[slot].socket != socket) return false;
        receiveSlots_[slot].socket.reset();
        receiveSlots_[slot].partial.clear();
        sendSlots_[slot].socket.reset();
        if (clearPending) sendSlots_[slot].pending = false;
    }
    ChangeSessionCount(-1);
    return true;
}

}  // namespace devlink
