// The download service's reports on their way to the window: the console
// takes the raw-bytes reports for its status line, the window the others.
#pragma once

#include <string>

#include "app/console/console_view.h"
#include "platform/report_sink.h"

namespace app {

class ConsoleReportSink : public platform::ReportSink {
public:
    ConsoleReportSink(platform::ReportSink& window, ConsoleView& view) : window_(window), view_(view) {}

    void SendReport(const platform::ServiceReport& report) override;
    void ShowMessageBox(const std::u16string& text) override;

private:
    platform::ReportSink& window_;
    ConsoleView& view_;
};

}  // namespace app
