#include "service_fixture.h"

#include <filesystem>
#include <random>

#include "../support/test_env.h"
#include "payload/firmware_files.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/tcp_socket.h"
#include "platform/text.h"

namespace download_test {
namespace {

// The server's threads poll in real time and the device answers CMD_IP_MAC
// within the port's 100 ms: twenty times faster keeps those waits well above
// their pace while the port opens.
constexpr double kOpeningScale = 20.0;
constexpr uint32_t kRandomSeed = 0x2545F491;

std::vector<uint8_t> FileBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state);
    }
    return bytes;
}

void WriteFile(const std::u16string& folder, std::u16string_view name, size_t size, uint32_t seed)
{
    const std::vector<uint8_t> bytes = FileBytes(size, seed);
    ASSERT_TRUE(platform::WriteWholeFile(folder + platform::kPathSeparator + std::u16string(name), bytes.data(), bytes.size()));
}

}  // namespace

void RecordingWindow::SendReport(const platform::ServiceReport& report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_.push_back(report.port);
    switch (report.kind) {
    case platform::kReportProgress:
        EXPECT_EQ(report.size, 4);
        progress_.push_back(*static_cast<const int32_t*>(report.data));
        break;
    case platform::kReportStatus: texts_.emplace_back(static_cast<const char16_t*>(report.data)); break;
    case platform::kReportVersion: names_.emplace_back(static_cast<const char16_t*>(report.data)); break;
    default: ADD_FAILURE() << "report of kind " << report.kind;
    }
}

void RecordingWindow::ShowMessageBox(const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(text);
}

std::vector<int32_t> RecordingWindow::Progress()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

std::optional<int32_t> RecordingWindow::LastProgress()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (progress_.empty()) return std::nullopt;
    return progress_.back();
}

std::vector<std::u16string> RecordingWindow::Texts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

std::vector<std::u16string> RecordingWindow::Names()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return names_;
}

std::vector<std::u16string> RecordingWindow::Boxes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

bool RecordingWindow::AllForPort(int port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (int seen : ports_) {
        if (seen != port) return false;
    }
    return true;
}

std::u16string MakeFirmwareFolder(const std::u16string& parent, const std::string& name, const FirmwareSizes& sizes)
{
    const std::u16string folder = parent + platform::Utf8ToUtf16(name);
    platform::DeleteTree(folder);
    EXPECT_TRUE(platform::CreateFolder(folder));
    WriteFile(folder, payload::kModemImage, sizes.modemImage, kRandomSeed);
    WriteFile(folder, payload::kModemChecksum, sizes.modemChecksum, kRandomSeed + 1);
    WriteFile(folder, payload::kLinuxImage, sizes.linuxImage, kRandomSeed + 2);
    if (sizes.bootImage > 0) WriteFile(folder, payload::kBootImage, sizes.bootImage, kRandomSeed + 3);
    return folder;
}

std::vector<uint8_t> ReadFile(const std::u16string& folder, std::u16string_view name)
{
    return platform::ReadWholeFile(folder + platform::kPathSeparator + std::u16string(name)).value_or(std::vector<uint8_t>{});
}

void RemoveFile(const std::u16string& folder, std::u16string_view name)
{
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(folder + platform::kPathSeparator + std::u16string(name)), ignored);
    EXPECT_FALSE(platform::FileExists(folder + platform::kPathSeparator + std::u16string(name)));
}

bool Eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void ServiceTest::SetUp()
{
    platform::SetTimeScale(kOpeningScale);
    // A folder of this test's own: other runs of these tests may go on at the same time.
    temp_ = testing_support::UsePrivateTempFolder("download-service-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(platform::StartNetworking());
    uint32_t loopback = 0;
    ASSERT_TRUE(platform::ResolveIPv4("127.0.0.1", loopback));
    ASSERT_TRUE(announcements_.Open());
    ASSERT_TRUE(announcements_.Bind(loopback, 0));
}

void ServiceTest::TearDown()
{
    service_.reset();
    device_.reset();
    platform::SetTimeScale(1.0);
    platform::DeleteTree(temp_);
}

download::DownloadServiceSettings ServiceTest::Settings() const
{
    platform::Endpoints endpoints;
    endpoints.announce = platform::HostPort{"127.0.0.1", announcements_.Port()};
    endpoints.listenPort = 0;
    endpoints.hostFilter = "127.";
    endpoints.arpCommand = "echo arp>>" + platform::Utf16ToUtf8(temp_) + "arp.txt";
    return download::ServiceSettingsFor(endpoints, temp_);
}

void ServiceTest::StartService(const std::u16string& table)
{
    service_ = std::make_unique<download::CDownloadService>(Settings());
    service_->SetWindow(&window_);
    service_->SetLanguageFile(table);
    ASSERT_EQ(service_->PreparePort(0), 0);
}

void ServiceTest::ConnectDevice(DeviceConduct conduct)
{
    device_ = std::make_unique<RouterLinkDevice>(service_->Link().Server().ListenPort(), std::move(conduct));
    ASSERT_TRUE(device_->Connected());
    ASSERT_TRUE(Eventually([&] { return service_->Link().Server().AcceptedCount() == 1; }));
    ASSERT_TRUE(service_->InitPort(0));
    ASSERT_TRUE(service_->IsPortOpen(0));
}

Outcome ServiceTest::RunDownload(const std::u16string& folder, double scale, int32_t mode)
{
    platform::SetTimeScale(scale);
    download::DownloadRequest request;
    request.port = 0;
    request.mode = mode;
    request.firmwareFolder = folder;
    Outcome outcome;
    outcome.code = kCallerCode;
    const uint64_t start = platform::MonotonicMs();
    outcome.result = service_->Download(request, outcome.code);
    outcome.elapsedMs = platform::MonotonicMs() - start;
    return outcome;
}

size_t ServiceTest::ArpRuns() const
{
    const auto bytes = platform::ReadWholeFile(temp_ + u"arp.txt");
    if (!bytes) return 0;
    size_t runs = 0;
    for (uint8_t byte : *bytes) runs += byte == '\n' ? 1 : 0;
    return runs;
}

}  // namespace download_test
