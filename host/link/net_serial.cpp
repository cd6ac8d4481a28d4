#include "link/net_serial.h"

#include <algorithm>

#include "link/debug_text.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace devlink {
namespace {

constexpr size_t kMaxAcceptedForOpen = 4;
constexpr int kIpMacAttempts = 20;
constexpr uint32_t kIpMacDrainMs = 10000;
constexpr uint32_t kIpMacRetryMs = 5000;
constexpr uint32_t kIpMacReplyMs = 100;
constexpr uint32_t kPollFirstMs = 20;
constexpr uint32_t kPollRestMs = 100;
constexpr uint32_t kCloseDrainMs = 60000;
constexpr uint32_t kQueryDrainMs = 2000;
constexpr uint32_t kRebootDrainMs = 60000;
constexpr uint32_t kResultPollMs = 30;
constexpr uint32_t kResultLimitMs = 300000;
constexpr int kRawWriteAttempts = 500;
constexpr uint32_t kRawWritePauseMs = 10;

}  // namespace

LinkMessage StartBlock(uint8_t type, uint32_t fileSize)
{
    LinkMessage message;
    message.type = type;
    message.param = 1392;
    message.length = static_cast<uint32_t>(kDataCapacity);
    message.aux2 = fileSize;
    return message;
}

int CNetSerial::InitPort(int index)
{
    if (open_) return 1;
    Debug(Format("KR710 thread %d open port called\n", index));
    const size_t accepted = server_.AcceptedCount();
    if (index < 0 || index >= kSessionSlots || accepted == 0 || accepted > kMaxAcceptedForOpen) {
        Debug("++++++++++KR710 has not connected!++++++++++++\n");
        return 0;
    }
    std::shared_ptr<platform::TcpSocket> socket = server_.ClaimOldest();
    if (!socket) {
        Debug("++++++++++KR710 has not connected!++++++++++++\n");
        return 0;
    }
    Debug(Format("KR710 thread %d open port successfully\n", index));
    sessionIndex_ = index;
    socket_ = socket;
    server_.BindSlot(index, socket);
    Debug("KR710 OPEN BEGIN");
    if (open_) {
        Debug("KR710 HAVE BEEN OPEN ");
        return 1;
    }
    if (!IpMacExchange()) {
        Debug("KR710 open port failed.....\n");
        return 0;
    }
    Debug("KR710 open port successfully.\n");
    return 1;
}

bool CNetSerial::IpMacExchange()
{
    if (!socket_) return open_;
    for (int attempt = 1; attempt <= kIpMacAttempts; ++attempt) {
        LinkMessage request;
        request.type = kCmdIpMac;
        request.length = 1;
        Debug("KR710 send  CMD_IP_MAC");
        PostMessage(request);
        Debug("KR710 send  CMD_IP_MAC finish");
        if (WaitDrained(kIpMacDrainMs)) {
            // A reply still on its way gets the 100 ms that a missing one costs.
            const platform::ReplyWindow window(kIpMacReplyMs);
            while (!ReplyArrived() && window.Open()) platform::SleepMs(kPollFirstMs);
            LinkMessage reply;
            TakeReply(reply);
            if (reply.type == kCmdIpMac) {
                Debug("KR710 receive CMD_IP_MAC return");
                open_ = true;
                seqCounter_ = 1;
                return true;
            }
            open_ = true;
            return true;
        }
        platform::SleepMs(kIpMacRetryMs);
    }
    open_ = false;
    Debug("KR710 not receive CMD_IP_MAC return");
    return false;
}

bool CNetSerial::WaitDrained(uint32_t limitMs)
{
    const platform::ReplyWindow window(limitMs);
    for (;;) {
        if (SendDrained()) return true;
        if (!window.Open()) return false;
        platform::SleepMs(kPollFirstMs + kPollRestMs);
    }
}

uint32_t CNetSerial::PostMessage(LinkMessage message)
{
    if (sessionIndex_ < 0 || server_.SendPending(sessionIndex_)) return 0;
    message.seq = ++seqCounter_;
    if (!server_.PostMessage(sessionIndex_, message)) {
        --seqCounter_;
        return 0;
    }
    return message.length;
}

uint32_t CNetSerial::PostWithLength(LinkMessage message, uint32_t length)
{
    if (!open_) return 0;
    message.length = length;
    return PostMessage(message);
}

size_t CNetSerial::WriteData(const uint8_t* bytes, size_t count)
{
    if (!open_ || sessionIndex_ < 0 || !server_.SlotBound(sessionIndex_)) return 0;
    count = std::min(count, kDataCapacity);
    LinkMessage message;
    message.type = kCmdData;
    message.SetData(std::span<const uint8_t>(bytes, count));
    message.length = static_cast<uint32_t>(count);
    return PostMessage(message) == 0 ? 0 : count;
}

size_t CNetSerial::RawWrite(const uint8_t* bytes, size_t count)
{
    if (!open_ || !socket_) return 0;
    for (int attempt = 1; attempt <= kRawWriteAttempts; ++attempt) {
        if (socket_->Send(bytes, count)) return count;
        platform::SleepMs(kRawWritePauseMs);
    }
    ClosePort();
    return 0;
}

bool CNetSerial::SendDrained() { return sessionIndex_ >= 0 && !server_.SendPending(sessionIndex_); }

bool CNetSerial::ReplyReady()
{
    return open_ && ReplyArrived();
}

bool CNetSerial::ReplyArrived()
{
    return sessionIndex_ >= 0 && server_.HasMessage(sessionIndex_, seqCounter_);
}

uint32_t CNetSerial::TakeReply(LinkMessage& reply)
{
    reply = LinkMessage{};
    if (sessionIndex_ < 0 || !server_.TakeMessage(sessionIndex_, seqCounter_, reply)) return 0;
    if (reply.type == kCmdClose) {
        ClosePort();
        return 0;
    }
    return reply.length;
}

size_t CNetSerial::TakeData(uint8_t* buffer, size_t capacity)
{
    LinkMessage reply;
    const bool refused = TakeReply(reply) == 0 && reply.type == kCmdClose;
    std::fill_n(buffer, capacity, 0);
    if (refused) return 0;
    const auto data = reply.Data();
    const size_t count = std::min<size_t>({reply.length, capacity, data.size()});
    std::copy_n(data.begin(), count, buffer);
    return count;
}

bool CNetSerial::Command(uint8_t type, uint32_t limitMs, const char16_t* refusalText)
{
    if (!open_) return false;
    LinkMessage request;
    request.type = type;
    request.length = 1;
    if (PostMessage(request) == 0) return false;
    const platform::ReplyWindow window(limitMs);
    while (window.Open()) {
        platform::SleepMs(kPollFirstMs);
        if (ReplyReady()) {
            LinkMessage reply;
            TakeReply(reply);
            if (reply.type == type) return true;
            if (reply.type == kCmdClose && refusalText != nullptr) errorText_ = refusalText;
            return false;
        }
        platform::SleepMs(kPollRestMs);
    }
    return false;
}

bool CNetSerial::CloseFactory() { return Command(kCmdCloseFactory, 10000, nullptr); }
bool CNetSerial::ModemUpgrade() { return Command(kCmdModemUpgrade, 400000, nullptr); }
bool CNetSerial::ToUserMode() { return Command(kCmdToUserMode, 100000, u"KR710M can not switch to user mode from factory mode."); }
bool CNetSerial::ModemState() { return Command(kCmdModemState, 100000, u"KR710M can not switch to user mode."); }

bool CNetSerial::QueryInfo(std::u16string& text)
{
    if (!open_) return false;
    LinkMessage request;
    request.type = kCmdQueryInfo;
    request.length = 1;
    const platform::ReplyWindow window(kQueryDrainMs);
    // A request that could not be posted (the router's connection is gone
    // and its session closed) never leaves: that is a query that did not
    // drain, not one that went unanswered.
    if (PostMessage(request) == 0 || !WaitDrained(kQueryDrainMs)) {
        open_ = false;
        return false;
    }
    // The reply may still be on its way: give it the rest of the 2000 ms.
    while (!ReplyReady() && window.Open()) platform::SleepMs(kPollFirstMs);
    LinkMessage reply;
    if (TakeReply(reply) == 0) {
        text = u"NULL";
        return true;
    }
    const auto data = reply.Data();
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    text = platform::AnsiToUtf16(std::string(data.begin(), end));
    return true;
}

bool CNetSerial::Reboot()
{
    if (!open_) return false;
    LinkMessage request;
    request.type = kCmdReboot;
    request.length = 1;
    PostMessage(request);
    const bool drained = WaitDrained(kRebootDrainMs);
    CloseSession(drained);
    return drained;
}

int CNetSerial::WaitForResult()
{
    const platform::ReplyWindow window(kResultLimitMs);
    while (window.Open()) {
        if (ReplyReady()) {
            LinkMessage reply;
            TakeReply(reply);
            if (reply.type == kLinuxImage) return 0;
            errorText_ = u"接收命令字不符合!";
            return -1;
        }
        platform::SleepMs(kResultPollMs);
    }
    errorText_ = u"没有接收到数据!";
    return -1;
}

int CNetSerial::ClosePort()
{
    if (!open_) return 1;
    LinkMessage request;
    request.type = kCmdClose;
    request.length = 1;
    PostMessage(request);
    const bool drained = WaitDrained(kCloseDrainMs);
    CloseSession(drained);
    return drained ? 1 : 0;
}

void CNetSerial::CloseSession(bool drained)
{
    if (socket_) {
        socket_->Shutdown();
        socket_->Close();
        // The count falls once per session, whoever noticed its end first.
        if (sessionIndex_ >= 0) server_.UnbindSlot(sessionIndex_, socket_, !drained);
    }
    socket_.reset();
    open_ = false;
}

int CNetSerial::ReadVersionBlock(std::u16string&) { return 0; }

int CNetSerial::ClosePlainChannel() { return 0; }

int PortControl(CNetSerial& port, bool networkLink, int key)
{
    if (!networkLink) return 0;
    switch (key) {
    case 0: return port.ClosePort() == 1 ? 0 : -1;
    case 1: return port.IsOpen() ? 0 : -1;
    default: return 0;
    }
}

}  // namespace devlink
