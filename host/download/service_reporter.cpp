#include "download/service_reporter.h"

namespace download {

void ServiceReporter::Progress(int32_t percent) const
{
    if (window_ == nullptr) return;
    window_->SendReport(platform::ServiceReport{platform::kReportProgress, port_, &percent, sizeof percent});
}

void ServiceReporter::Text(const std::u16string& text) const { Send(platform::kReportStatus, text); }

void ServiceReporter::DeviceName(const std::u16string& name) const { Send(platform::kReportVersion, name); }

void ServiceReporter::RawBytes(uint32_t sent, uint32_t size) const
{
    if (window_ == nullptr) return;
    const platform::TransferBytes bytes{sent, size};
    window_->SendReport(platform::ServiceReport{platform::kReportTransfer, port_, &bytes, sizeof bytes});
}

void ServiceReporter::ShowMessageBox(const std::u16string& text) const
{
    if (window_ != nullptr) window_->ShowMessageBox(text);
}

void ServiceReporter::Send(int32_t kind, const std::u16string& text) const
{
    if (window_ == nullptr) return;
    const auto bytes = static_cast<int32_t>((text.size() + 1) * sizeof(char16_t));
    window_->SendReport(platform::ServiceReport{kind, port_, text.c_str(), bytes});
}

}  // namespace download
