// The download service tests' common ground: a window that records every
// report, firmware folders of chosen sizes, and a fixture with a service on
// loopback whose port 0 a RouterLinkDevice connects to, all on a clock the
// test drives.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../support/driven_clock.h"
#include "download/download_service.h"
#include "platform/clock.h"
#include "platform/report_sink.h"
#include "platform/text.h"
#include "platform/udp_socket.h"
#include "router_link_device.h"

namespace download_test {

inline const std::u16string kCarriedTable = platform::Utf8ToUtf16(CARRIED_LANGUAGE_TABLE);

inline constexpr char16_t kEnter[] = u"CDownloadService::Download Enter";
inline constexpr char16_t kLeave[] = u"CDownloadService::Download Leave";
inline constexpr char16_t kOperationEnter[] = u"CDownloadService::Operation_Download Enter";
inline constexpr char16_t kOperationLeave[] = u"CDownloadService::Operation_Download Leave";
inline constexpr char16_t kStateSucceeded[] = u"Get Marvell Modem state succeed!";
inline constexpr char16_t kStateFailed[] = u"Get Marvell Modem state failed!";
inline constexpr char16_t kUpgradeBegins[] = u"Upgrading modem sw begin,wait for 1 min ~ 6 min!";
inline constexpr char16_t kUpgradeSucceeded[] = u"Upgrade Marl Modem sw succeed!";
inline constexpr char16_t kUpgradeFailed[] = u"Upgrade marl Modem sw failed!";
inline constexpr char16_t kUserModeFailed[] = u"SwitchToUserModeFromFactoryMode failed!";
inline constexpr char16_t kSendFileFail[] = u"Send File Fail!";

class RecordingWindow : public platform::ReportSink {
public:
    void SendReport(const platform::ServiceReport& report) override;
    void ShowMessageBox(const std::u16string& text) override;

    std::vector<int32_t> Progress();
    std::optional<int32_t> LastProgress();
    std::vector<std::u16string> Texts();
    std::vector<std::u16string> Names();
    std::vector<platform::TransferBytes> RawBytes();
    std::vector<std::u16string> Boxes();
    // Every report went to this port.
    bool AllForPort(int port);

private:
    std::mutex mutex_;
    std::vector<int32_t> progress_;
    std::vector<std::u16string> texts_;
    std::vector<std::u16string> names_;
    std::vector<std::u16string> boxes_;
    std::vector<platform::TransferBytes> rawBytes_;
    std::vector<int> ports_;
};

struct FirmwareSizes {
    size_t modemImage = 300 * 1024;
    size_t modemChecksum = 124;
    size_t linuxImage = 200 * 1024;
    size_t bootImage = 2048;  // 0: no file
};

// Writes the four firmware files into the new folder `parent` + `name`.
std::u16string MakeFirmwareFolder(const std::u16string& parent, const std::string& name, const FirmwareSizes& sizes);
std::vector<uint8_t> ReadFile(const std::u16string& folder, std::u16string_view name);
void RemoveFile(const std::u16string& folder, std::u16string_view name);

// Whether a child process of this one (an ARP command) is running or not
// yet reaped.
bool ChildProcessRunning();

struct Outcome {
    int result = 0;
    uint32_t code = 0;
    // Clock time at the start and the end of the download.
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    uint64_t elapsedMs = 0;
};

// The code the caller starts with, to tell a kept code from a set one.
inline constexpr uint32_t kCallerCode = 77;

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest();
    void SetUp() override;
    void TearDown() override;

    download::DownloadServiceSettings Settings() const;
    // Creates the service with the language table `table` and prepares port 0.
    void StartService(const std::u16string& table = kCarriedTable);
    // PreparePort while time runs; every ARP command it started has ended
    // (and written its line) when it returns.
    int Prepare(int port);
    // The device connects and port 0 is opened over its connection.
    void ConnectDevice(DeviceConduct conduct = {});
    // A mode-`mode` download of `folder` on port 0, while time runs.
    Outcome RunDownload(const std::u16string& folder, int32_t mode = 0);
    // How often the ARP command ran.
    size_t ArpRuns() const;

    // Runs a product call that waits on the clock while time runs, and
    // gives its result; a call still blocked after an hour of clock time
    // fails the test.
    template <typename Work>
    auto Call(Work work, uint64_t limitMs = 3600000) -> decltype(work())
    {
        auto result = clock_.Run(work, limitMs);
        EXPECT_TRUE(result.has_value()) << "the call did not return within " << limitMs << " ms of clock time";
        return result.value_or(decltype(work()){});
    }

    // Declared first: outlives every object whose threads wait on it.
    testing_support::DrivenClock clock_;
    std::atomic<bool> holdForCommands_{false};
    std::u16string temp_;
    platform::UdpSocket announcements_;
    RecordingWindow window_;
    std::unique_ptr<download::CDownloadService> service_;
    std::unique_ptr<RouterLinkDevice> device_;
};

}  // namespace download_test
