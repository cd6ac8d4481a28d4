#include "app/console/console_report_sink.h"

namespace app {

void ConsoleReportSink::SendReport(const platform::ServiceReport& report)
{
    if (report.kind != platform::kReportTransfer) {
        window_.SendReport(report);
        return;
    }
    if (report.data == nullptr || report.size != static_cast<int32_t>(sizeof(platform::TransferBytes))) return;
    const auto& bytes = *static_cast<const platform::TransferBytes*>(report.data);
    view_.RunOnViewThread([this, &bytes] { view_.ShowTransfer(bytes); });
}

void ConsoleReportSink::ShowMessageBox(const std::u16string& text) { window_.ShowMessageBox(text); }

}  // namespace app
