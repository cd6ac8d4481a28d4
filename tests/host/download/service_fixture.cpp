#include "service_fixture.h"

#include <cstdio>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>
// A macro of windows.h (StartServiceW) that would rename the fixture's member.
#undef StartService
#else
#include <dirent.h>

#include <fstream>
#endif

#include "../support/poll_until.h"
#include "../support/test_env.h"
#include "payload/firmware_files.h"
#include "platform/files.h"
#include "platform/tcp_socket.h"
#include "platform/text.h"

namespace download_test {
namespace {

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
    case platform::kReportTransfer:
        EXPECT_EQ(report.size, static_cast<int32_t>(sizeof(platform::TransferBytes)));
        rawBytes_.push_back(*static_cast<const platform::TransferBytes*>(report.data));
        break;
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

std::vector<platform::TransferBytes> RecordingWindow::RawBytes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return rawBytes_;
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

#ifdef _WIN32
namespace {

bool CreationTime(HANDLE process, FILETIME& created)
{
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
}

// Whether the process `id` is still there and started after `since`. A
// process keeps the id of its parent after the parent has ended, and ids
// are soon used again (under Wine within seconds), so a process that names
// this one's id as its parent may be a stranger that is older than this one.
bool StartedSince(DWORD id, const FILETIME& since)
{
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return false;
    FILETIME created{};
    DWORD exitCode = 0;
    const bool running = CreationTime(process, created) && ::GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    ::CloseHandle(process);
    return running && ::CompareFileTime(&created, &since) >= 0;
}

}  // namespace

bool ChildProcessRunning()
{
    FILETIME selfCreated{};
    if (!CreationTime(::GetCurrentProcess(), selfCreated)) return false;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry)) {
        found = entry.th32ParentProcessID == self && entry.th32ProcessID != self && StartedSince(entry.th32ProcessID, selfCreated);
    }
    ::CloseHandle(snapshot);
    return found;
}
#else
// Every thread's list of the children it started (a zombie stays listed
// until it is reaped).
bool ChildProcessRunning()
{
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return false;
    bool found = false;
    while (const dirent* entry = found ? nullptr : ::readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream children(std::string("/proc/self/task/") + entry->d_name + "/children");
        long pid = 0;
        found = static_cast<bool>(children >> pid);
    }
    ::closedir(tasks);
    return found;
}
#endif

ServiceTest::ServiceTest()
{
    // Time stands still while a block waits in a send slot: the send thread
    // polls in real time, and the block is under way from the moment it is posted.
    for (int slot = 0; slot < devlink::kSessionSlots; ++slot) {
        clock_.AddSettledCondition([this, slot] { return !service_ || !service_->Link().Server().SendPending(slot); });
    }
#ifndef _WIN32
    // An ARP command is an outside process that the clock cannot see, and
    // here the host ends one still running after its 3000 ms: while one
    // runs during a preparation, time stands still, so that it always gets
    // to its end. (Windows leaves the command running, and a process
    // snapshot there takes longer than the server's threads stay still.)
    clock_.AddSettledCondition([this] { return !holdForCommands_ || !ChildProcessRunning(); });
#endif
}

void ServiceTest::SetUp()
{
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
    // Bytes under way that the clock had to take as lost after a second
    // without progress: time may then have moved with a reply on its way.
    // None are expected (lost ones are written off by the device first).
    if (clock_.ForcedSettles() > 0) {
        RecordProperty("forced_settles", clock_.ForcedSettles());
        std::printf("note: the clock took bytes under way as lost %d times\n", clock_.ForcedSettles());
    }
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
    ASSERT_EQ(Prepare(0), 0);
}

int ServiceTest::Prepare(int port)
{
    holdForCommands_ = true;
    const int result = Call([&] { return service_->PreparePort(port); });
    holdForCommands_ = false;
    // A command that is still running (Windows leaves it so) has written
    // its line once it has ended; then no line can come any more.
    EXPECT_TRUE(testing_support::PollUntil([] { return !ChildProcessRunning(); }));
    return result;
}

void ServiceTest::ConnectDevice(DeviceConduct conduct)
{
    device_ = std::make_unique<RouterLinkDevice>(service_->Link().Server().ListenPort(), std::move(conduct));
    ASSERT_TRUE(device_->Connected());
    // The server accepts in real time, and time stands still meanwhile.
    ASSERT_TRUE(testing_support::PollUntil([&] { return service_->Link().Server().AcceptedCount() == 1; }));
    ASSERT_TRUE(Call([&] { return service_->InitPort(0); }));
    ASSERT_TRUE(service_->IsPortOpen(0));
}

Outcome ServiceTest::RunDownload(const std::u16string& folder, int32_t mode)
{
    download::DownloadRequest request;
    request.port = 0;
    request.mode = mode;
    request.firmwareFolder = folder;
    Outcome outcome;
    outcome.code = kCallerCode;
    outcome.startMs = platform::MonotonicMs();
    // The end is taken by the call itself: time may move on once it has returned.
    outcome.result = Call([&] {
        const int result = service_->Download(request, outcome.code);
        outcome.endMs = platform::MonotonicMs();
        return result;
    });
    outcome.elapsedMs = outcome.endMs - outcome.startMs;
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
