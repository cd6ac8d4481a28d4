// The download service's reports to the main window: progress percentages,
// lines for a port's log, the device name and the raw bytes of a transfer,
// each delivered synchronously (WM_SERVICE_REPORT), and the modal message
// box of the file check.
#pragma once

#include <cstdint>
#include <string>

#include "platform/report_sink.h"

namespace download {

class ServiceReporter {
public:
    // `window` may be null: the reports then go nowhere.
    ServiceReporter(platform::ReportSink* window, int port) : window_(window), port_(port) {}

    // Kind 0: `percent` as a 32-bit value.
    void Progress(int32_t percent) const;
    // Kind 3: a line for the port's log.
    void Text(const std::u16string& text) const;
    // Kind 6: the name the version field shows.
    void DeviceName(const std::u16string& name) const;
    // Kind 100: the raw bytes of the file under way (size 0: they stopped).
    void RawBytes(uint32_t sent, uint32_t size) const;
    // Returns when the user has closed the box.
    void ShowMessageBox(const std::u16string& text) const;

private:
    void Send(int32_t kind, const std::u16string& text) const;

    platform::ReportSink* window_;
    int port_;
};

}  // namespace download
