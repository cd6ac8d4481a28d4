#include "link/net_packet.h"

#include "link/debug_text.h"
#include "link/diag_errors.h"
#include "link/diag_frame.h"
#include "link/little_endian.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/files.h"

namespace devlink {
namespace {

constexpr int kResendAttempts = 30;
constexpr uint32_t kResendPauseMs = 5;
constexpr uint32_t kReplyPollMs = 3;
constexpr uint32_t kLateReplyPauseMs = 10000;
constexpr uint32_t kLateReplyWindowMs = 3000;
constexpr uint32_t kLateReplyPollMs = 10;
constexpr size_t kReceiveCapacity = 4096;
constexpr uint8_t kEsnAttempts = 10;
constexpr uint32_t kEsnTimeoutMs = 500;

}  // namespace

void CNetPacket::Reset()
{
    commandCode_ = 0;
    parameters_.clear();
    received_.clear();
    responseCode_ = 0;
    esn_ = 0;
}

bool CNetPacket::WaitForReply(uint32_t timeoutMs)
{
    const platform::ReplyWindow window(timeoutMs);
    while (window.Open()) {
        if (ReplyReady()) return true;
        platform::SleepMs(kReplyPollMs);
    }
    server_.Log().WriteLine(Format("RxTxPacket Client %d: 手机无返回数据!\n", SessionIndex()));
    platform::SleepMs(kLateReplyPauseMs);
    const platform::ReplyWindow lateWindow(kLateReplyWindowMs);
    while (lateWindow.Open()) {
        if (ReplyReady()) {
            server_.Log().WriteLine(Format("RxTxPacket Client %d: 等待后手机返回数据!yeah!\n", SessionIndex()));
            return true;
        }
        platform::SleepMs(kLateReplyPollMs);
    }
    return false;
}

int CNetPacket::RxTxPacket(uint8_t attempts, uint32_t timeoutMs)
{
    int result = 1;
    std::vector<uint8_t> body{commandCode_};
    body.insert(body.end(), parameters_.begin(), parameters_.end());
    const std::vector<uint8_t> frame = BuildFrame(body);
    if (frame.empty()) {
        SetErrorText(u"Port Cannot Send desired data to the Phone");
        return 0;
    }
    for (uint8_t attempt = 0; attempt < attempts; ++attempt) {
        size_t written = WriteData(frame.data(), frame.size());
        platform::DebugOutput(u"KR710 SEND " + HexBytes(frame) + u"\n ");
        for (int retry = 0; written < frame.size() && retry < kResendAttempts; ++retry) {
            platform::SleepMs(kResendPauseMs);
            written = WriteData(frame.data(), frame.size());
        }
        if (written < frame.size()) {
            server_.Log().WriteLine(Format("Client %d WriteCommBytes Error!\n", SessionIndex()));
            SetErrorText(u"Port Cannot Send desired data to the Phone");
            result = 0;
            continue;
        }
        if (!WaitForReply(timeoutMs)) {
            // No answer at all is a failed attempt too, or a silent device
            // would end the exchange as a success.
            SetErrorText(u"Port Cannot Receive Desired Data from the Phone");
            result = 0;
            continue;
        }
        received_.assign(kReceiveCapacity, 0);
        const size_t count = TakeData(received_.data(), received_.size());
        received_.resize(count);
        if (count == 0) {
            SetErrorText(u"Port Cannot Receive Desired Data from the Phone");
            result = 0;
            continue;
        }
        if (count > kLargestReply) {
            SetErrorText(u"The Received Data from the Phone is Too Large");
            result = 0;
            continue;
        }
        platform::DebugOutput(u"KR710 RECEIVE " + HexBytes(received_) + u"\n ");
        if (received_[0] != commandCode_) {
            SetErrorText(DiagErrorText(received_[0]));
            result = 0;
            continue;
        }
        const UnframeResult reply = UnframeAndCheck(received_);
        if (!reply.ok) {
            SetErrorText(reply.error);
            result = 0;
            continue;
        }
        result = ParseReply(reply.body);
        if (result != 0) return result;
    }
    return result;
}

int CNetPacket::ParseReply(const std::vector<uint8_t>& body)
{
    if (body.empty()) return 0;
    responseCode_ = body[0];
    if (responseCode_ != kDiagReadEsn) return 1;
    if (body.size() < 5) {
        SetErrorText(u"The Request packet has an invalid length");
        return 0;
    }
    esn_ = ReadLe32(body, 1);
    return 1;
}

int CNetPacket::ReadEsn(uint32_t& esn)
{
    Reset();
    commandCode_ = kDiagReadEsn;
    if (RxTxPacket(kEsnAttempts, kEsnTimeoutMs) == 0) {
        SetErrorText(u"Cannot Get the ESN Number of the Phone, Since " + ErrorText());
        esn = 0xFFFFFFFF;
        return 0;
    }
    esn = esn_;
    return 1;
}

int CNetPacket::WritePortLog(const std::u16string& path) const
{
    std::vector<uint8_t> bytes{0xFF, 0xFE, 0xFF, static_cast<uint8_t>(portLogText_.size())};
    for (char16_t c : portLogText_) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return platform::WriteWholeFile(path, bytes.data(), bytes.size()) ? 1 : 0;
}

}  // namespace devlink
