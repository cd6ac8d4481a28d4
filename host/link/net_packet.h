// A packet engine: one port plus the DIAG exchange over it. A command's
// body is framed (FCS-16, escapes, closing flag), sent as CMD_DATA, and the
// reply is unframed, checked and parsed. Every failure leaves its reason in
// the error text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/net_serial.h"

namespace devlink {

inline constexpr uint8_t kDiagReadEsn = 0x01;
inline constexpr size_t kLargestReply = 1024;

class CNetPacket : public CNetSerial {
public:
    explicit CNetPacket(CSockProducer& server) : CNetSerial(server) {}

    // Sends the request up to `attempts` times, each waiting `timeoutMs`
    // (then 10 s and 3 s more) for the reply. Non-zero on success.
    int RxTxPacket(uint8_t attempts, uint32_t timeoutMs);

    // Reads the device's electronic serial number: 1 with `esn` set, or 0
    // with `esn` -1 and the reason in the error text.
    int ReadEsn(uint32_t& esn);

    // Writes the port log text: FF FE FF, its length and its characters.
    int WritePortLog(const std::u16string& path) const;

    uint8_t ResponseCode() const { return responseCode_; }

private:
    void Reset();
    // The reply parser of the DIAG requests in use; 1 when accepted.
    int ParseReply(const std::vector<uint8_t>& body);
    bool WaitForReply(uint32_t timeoutMs);

    uint8_t commandCode_ = 0;
    std::vector<uint8_t> parameters_;
    std::vector<uint8_t> received_;
    uint8_t responseCode_ = 0;
    uint32_t esn_ = 0;
    std::u16string portLogText_;
};

}  // namespace devlink
