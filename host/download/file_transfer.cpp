#include "download/file_transfer.h"

#include <array>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/debug_output.h"

namespace download {
namespace {

constexpr uint32_t kOpenFailedCode = 3;
constexpr uint32_t kBeforeAnnouncementMs = 5000;
constexpr uint32_t kAfterAnnouncementMs = 100;
// The start block must have left before the raw bytes, which do not go
// through the send slot, or the device would read them as blocks.
constexpr uint32_t kStartBlockLeaveMs = 10000;

void Call(const std::function<void()>& report)
{
    if (report) report();
}

// The rawBytes reports of one file: none sent at the start, the bytes sent
// when kRawBytesReportMs have passed since the last report, and the end
// when it goes out of scope, on every way out of the transfer.
class RawBytesReports {
public:
    RawBytesReports(const std::function<void(uint32_t, uint32_t)>& report, uint32_t size) : report_(report), size_(size)
    {
        Report(0);
    }
    ~RawBytesReports()
    {
        if (report_) report_(0, 0);
    }
    RawBytesReports(const RawBytesReports&) = delete;
    RawBytesReports& operator=(const RawBytesReports&) = delete;

    void Sent(uint32_t sent)
    {
        if (platform::MonotonicMs() - lastMs_ >= kRawBytesReportMs) Report(sent);
    }

private:
    void Report(uint32_t sent)
    {
        if (!report_) return;
        lastMs_ = platform::MonotonicMs();
        report_(sent, size_);
    }

    const std::function<void(uint32_t, uint32_t)>& report_;
    const uint32_t size_;
    uint64_t lastMs_ = 0;
};

}  // namespace

TransferResult SendFileToDevice(devlink::CNetSerial& port, const std::u16string& path, uint8_t type,
                                const TransferProgress& progress, uint32_t pauseMs, uint32_t& code)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::streamoff length = file ? static_cast<std::streamoff>(file.seekg(0, std::ios::end).tellg()) : -1;
    if (!file || length < 0) {
        platform::DebugOutput(u"KR880+ ---------> SendFileToDevice: cannot open " + path);
        code = kOpenFailedCode;
        return TransferResult::kOpenFailed;
    }
    const auto size = static_cast<uint32_t>(length);
    platform::SleepMs(kBeforeAnnouncementMs);

    Call(progress.beforeAnnouncement);
    if (port.PostWithLength(devlink::StartBlock(type, size), kTransferPieceBytes) == 0) {
        platform::DebugOutput(u"KR880+ ---------> SendFileToDevice: the start block could not be posted");
        return TransferResult::kWriteFailed;
    }
    Call(progress.afterAnnouncement);
    platform::SleepMs(kAfterAnnouncementMs);
    if (!port.WaitDrained(kStartBlockLeaveMs)) {
        platform::DebugOutput(u"KR880+ ---------> SendFileToDevice: the start block did not leave");
        return TransferResult::kWriteFailed;
    }

    std::array<char, kTransferPieceBytes> piece{};
    uint32_t offset = 0;
    RawBytesReports rawBytes(progress.rawBytes, size);
    while (offset < size) {
        if (progress.atPiece) progress.atPiece(offset, size);
        file.clear();
        file.seekg(offset);
        file.read(piece.data(), piece.size());
        const auto count = static_cast<size_t>(file.gcount());
        if (count == 0) break;
        if (port.RawWrite(reinterpret_cast<const uint8_t*>(piece.data()), count) != count) {
            platform::DebugOutput(u"KR880+ ---------> SendFileToDevice: raw write failed");
            return TransferResult::kWriteFailed;
        }
        offset += static_cast<uint32_t>(count);
        rawBytes.Sent(offset);
        if (pauseMs > 0) platform::SleepMs(pauseMs);
    }
    return TransferResult::kSent;
}

}  // namespace download
