// The one channel from worker code to the main window: WM_SERVICE_REPORT
// with a ServiceReport record, delivered synchronously on the window's
// thread. The sender's record and the data it points to may live on the
// sender's stack.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline constexpr unsigned kWmServiceReport = 0x0400 + 0x6F;  // WM_USER + 0x6F

enum ReportKind : int32_t {
    kReportProgress = 0,  // data: 32-bit percentage
    kReportStatus = 3,    // data: UTF-16 text for the port's log
    kReportMain = 4,      // data: UTF-16 text for slot 0's log
    kReportVersion = 6,   // data: UTF-16 text for the version field
    kReportTransfer = 100,  // data: TransferBytes; the window ignores it
};

// The raw bytes of the file under way; size 0 once they have stopped.
struct TransferBytes {
    uint32_t sent = 0;
    uint32_t size = 0;
};

struct ServiceReport {
    int32_t kind = 0;
    int32_t port = 0;
    const void* data = nullptr;
    int32_t size = 0;
};

class ReportSink {
public:
    virtual ~ReportSink() = default;
    // Returns when the window has handled the report.
    virtual void SendReport(const ServiceReport& report) = 0;
    // A modal message box with an OK button, shown for a worker thread that
    // waits until the user has closed it.
    virtual void ShowMessageBox(const std::u16string& text) = 0;
};

}  // namespace platform
