// A file transfer to the device: a start block announcing the type and the
// size, then the file's bytes raw on the session in pieces of up to 1350,
// without acknowledgement.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/net_serial.h"

namespace download {

inline constexpr uint32_t kTransferPieceBytes = 1350;
inline constexpr uint64_t kRawBytesReportMs = 250;

// The progress reports of one transfer; each may be empty.
struct TransferProgress {
    std::function<void()> beforeAnnouncement;
    std::function<void()> afterAnnouncement;
    // Before each piece: its offset and the file size.
    std::function<void(uint32_t offset, uint32_t size)> atPiece;
    // While the raw bytes go out: the bytes sent and the file size, first
    // with none sent, then at most every kRawBytesReportMs of clock time;
    // once more with size 0 when they stop, the file sent whole or not.
    std::function<void(uint32_t sent, uint32_t size)> rawBytes;
};

enum class TransferResult {
    kSent,
    kOpenFailed,   // nothing was sent
    kWriteFailed,  // the start block or a piece could not be sent
};

// Sends the file at `path` with start block `type`, pausing `pauseMs`
// after each piece. A file that cannot be opened sets `code` to 3. A file
// that shrinks while it is sent ends the transfer early, still as sent.
TransferResult SendFileToDevice(devlink::CNetSerial& port, const std::u16string& path, uint8_t type,
                                const TransferProgress& progress, uint32_t pauseMs, uint32_t& code);

}  // namespace download
