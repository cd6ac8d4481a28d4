// A port: one download thread's end of one device session. Opening claims
// the oldest connection the rendezvous server accepted and proves it with
// CMD_IP_MAC; then the port posts link messages through its send slot,
// takes replies by sequence number, writes raw file bytes on the socket and
// closes the session. The link commands stand on these primitives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/link_block.h"
#include "link/sock_producer.h"

namespace devlink {

// Start blocks of a file transfer: 0x01 Linux image, 0x98 modem image,
// 0x99 modem checksum file; raw bytes follow in pieces of up to 1350.
LinkMessage StartBlock(uint8_t type, uint32_t fileSize);

class CNetSerial {
public:
    explicit CNetSerial(CSockProducer& server) : server_(server) {}
    virtual ~CNetSerial() = default;
    CNetSerial(const CNetSerial&) = delete;
    CNetSerial& operator=(const CNetSerial&) = delete;

    // 1 when open (or already open), 0 when no device connection could be claimed or proved.
    int InitPort(int index);
    // 1 when the close notice left, 0 when it did not within 60 s (the
    // session is closed either way).
    int ClosePort();
    bool IsOpen() const { return open_; }

    // The message's `length` once posted with the next `seq`, or 0 when
    // the send slot is still busy.
    uint32_t PostMessage(LinkMessage message);
    uint32_t PostWithLength(LinkMessage message, uint32_t length);
    // Posts up to 1350 bytes as CMD_DATA; the count, or 0.
    size_t WriteData(const uint8_t* bytes, size_t count);
    // Sends the bytes directly on the socket, trying 500 times 10 ms apart;
    // closes the port after the last failure. The count, or 0.
    size_t RawWrite(const uint8_t* bytes, size_t count);
    bool SendDrained();
    // Polls SendDrained every 120 ms for up to `limitMs`; true once drained.
    bool WaitDrained(uint32_t limitMs);
    bool ReplyReady();
    // The reply to the last post; its `length`, or 0 (a refusal closes the port).
    uint32_t TakeReply(LinkMessage& reply);
    // The reply's data, `length` bytes at most `capacity`; the count, or 0.
    size_t TakeData(uint8_t* buffer, size_t capacity);

    // The link commands: true on success; `ErrorText` says why not.
    bool CloseFactory();
    bool ModemUpgrade();
    bool ToUserMode();
    bool ModemState();
    // The device's version text, "NULL" when its reply carries none.
    bool QueryInfo(std::u16string& text);
    bool Reboot();
    // Waits for the device's result of the last transfer: 0, or -1.
    int WaitForResult();

    uint32_t SeqCounter() const { return seqCounter_; }
    int SessionIndex() const { return sessionIndex_; }
    const std::u16string& ErrorText() const { return errorText_; }

    // The plain channel of a serial-kind link; nothing opens it here, so
    // both operations fail at once without any input or output.
    int ReadVersionBlock(std::u16string& text);
    int ClosePlainChannel();

protected:
    void SetErrorText(std::u16string text) { errorText_ = std::move(text); }

    CSockProducer& server_;

private:
    // True when the reply to the last post has arrived, open or not.
    bool ReplyArrived();
    bool IpMacExchange();
    // Posts `type` with length 1 and waits up to `limitMs` for its reply.
    bool Command(uint8_t type, uint32_t limitMs, const char16_t* refusalText);
    void CloseSession(bool drained);

    std::atomic<bool> open_{false};
    int sessionIndex_ = -1;
    std::shared_ptr<platform::TcpSocket> socket_;
    uint32_t seqCounter_ = 1;
    std::u16string errorText_;
};

// The keyed port operations of the workflow threads: key 0 closes the port,
// key 1 asks whether it is open. 0 when the operation succeeded, the key is
// unknown or the link is not a network link; -1 when it failed.
int PortControl(CNetSerial& port, bool networkLink, int key);

}  // namespace devlink
