// update_timing_bench: where the wall time of one whole router update goes.
// The download service (CDownloadService) updates the routersim program,
// started here on 127.0.0.1 in factory mode, so that its link side connects
// back as soon as it hears the announcement, and without an answer delay.
// Time runs at scale 1. Every progress and status report is timestamped; the
// gaps between them are split into the fixed waits the steps make, the
// transfers of the modem image, its checksum and the Linux image, and the
// rest (requests and their answers, file opens, reports, sleep overruns).
//
//   update_timing_bench [--rounds N]
//
// Each round starts a fresh routersim and a fresh service. Default: 1 round.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "count_options.h"
#include "download/download_service.h"
#include "payload/firmware_files.h"
#include "platform/endpoints.h"
#include "platform/report_sink.h"
#include "platform/text.h"
#include "routersim_child.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kConnectLimit = std::chrono::seconds(20);
// A round takes under 30 s; a silent simulator could hold one request for 400 s.
constexpr auto kRoundLimit = std::chrono::seconds(120);
constexpr uint32_t kPieceBytes = 1350;
constexpr double kMegabyte = 1e6;

double Ms(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

bool ParseRounds(int argc, char** argv, int& rounds)
{
    return bench::ParseCountOptions(argc, argv, {{"--rounds", 1, INT_MAX, [&rounds](long long value) {
                                                      rounds = static_cast<int>(value);
                                                      return true;
                                                  }}});
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "update_timing_bench: %s\n", what.c_str());
    return 1;
}

// A progress report (with its percentage) or a status report (with its text).
struct Report {
    Clock::time_point at;
    std::optional<int32_t> percent;
    std::u16string text;
};

// The main window's stand-in: keeps every progress and status report with
// the time it came.
class TimingWindow final : public platform::ReportSink {
public:
    void SendReport(const platform::ServiceReport& report) override
    {
        const Clock::time_point at = Clock::now();
        std::lock_guard<std::mutex> lock(mutex_);
        if (report.kind == platform::kReportProgress) {
            reports_.push_back({at, *static_cast<const int32_t*>(report.data), {}});
        } else if (report.kind == platform::kReportStatus) {
            reports_.push_back({at, std::nullopt, static_cast<const char16_t*>(report.data)});
        }
    }

    void ShowMessageBox(const std::u16string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(text);
    }

    std::vector<Report> Reports()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_;
    }

    std::vector<std::u16string> Boxes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }

private:
    std::mutex mutex_;
    std::vector<Report> reports_;
    std::vector<std::u16string> boxes_;
};

// The report that ends one stretch of the download and begins the next.
struct Marker {
    std::optional<int32_t> percent;
    std::u16string_view text;
};

// In the order they come. The modem image reports 0 before its announcement
// and 0 again before its first piece; the checksum reports 71 before its
// announcement and 70 before its first piece; the Linux image reports 93
// right after its announcement, before the 100 ms pause.
const Marker kMarkers[] = {
    {1, {}},  {std::nullopt, u"Get Marvell Modem state succeed!"},
    {0, {}},  {0, {}},
    {70, {}}, {71, {}},
    {70, {}}, {90, {}},
    {std::nullopt, u"Upgrade Marl Modem sw succeed!"},
    {92, {}}, {93, {}},
    {95, {}}, {96, {}},
    {99, {}},
};

// The times of the markers, each the first match after the one before;
// nothing when one is missing.
std::optional<std::vector<Clock::time_point>> MarkerTimes(const std::vector<Report>& reports)
{
    std::vector<Clock::time_point> times;
    size_t next = 0;
    for (const Marker& marker : kMarkers) {
        while (next < reports.size() && (reports[next].percent != marker.percent ||
                                         (!marker.percent && reports[next].text != marker.text))) {
            ++next;
        }
        if (next == reports.size()) return std::nullopt;
        times.push_back(reports[next++].at);
    }
    return times;
}

enum class Transfer { kNone, kModemImage, kChecksum, kLinuxImage };

struct Wait {
    uint32_t ms;
    std::string what;
};

// The time between two consecutive marks: the fixed waits the code makes in
// it, and whether the rest of it is a transfer.
struct Stretch {
    std::string what;
    std::vector<Wait> waits;
    Transfer transfer = Transfer::kNone;
};

std::vector<Stretch> Stretches(uint64_t checksumBytes)
{
    const uint64_t pieces = (checksumBytes + kPieceBytes - 1) / kPieceBytes;
    return {
        {"PreparePort until the link side has connected",
         {{5000, "first announcement after the server starts (its 1000 ms settle, the ARP flush's 1000 ms inside)"}}},
        {"InitPort: IP/MAC request, answer (drain every 120 ms)", {}},
        {"GetVersion: version query (drain every 120 ms)", {{500, "before the version query"}}},
        {"Download begins, until progress 1", {}},
        {"file check, modem state 0x97, until its report", {{20, "before the first look for the answer"}}},
        {"modem image opened, until progress 0", {{5000, "before the modem image announcement"}}},
        {"announcement 0x98 posted, until progress 0", {{100, "after the announcement"}}},
        {"modem image pieces, until progress 70", {}, Transfer::kModemImage},
        {"checksum opened, until progress 71", {{5000, "before the checksum announcement"}}},
        {"announcement 0x99 posted, until progress 70", {{100, "after the announcement"}}},
        {"checksum pieces, until progress 90",
         {{static_cast<uint32_t>(10 * pieces), "after each checksum piece (" + std::to_string(pieces) + " of 1350 bytes or less)"}},
         Transfer::kChecksum},
        {"modem upgrade 0x90, user mode 0x96, until their report",
         {{3000, "before the modem upgrade request"}, {20, "before the first look for 0x90's answer"},
          {20, "before the first look for 0x96's answer"}}},
        {"Operation_Download ends, until progress 92", {{2000, "after the modem upgrade"}}},
        {"Linux image opened, announcement 0x01, until 93", {{5000, "before the Linux image announcement"}}},
        {"Linux image pieces, until progress 95", {{100, "after the announcement"}}, Transfer::kLinuxImage},
        {"image checked and confirmed 0x01 (looks every 30 ms), until 96", {}},
        {"close factory 0x86, restart 0x1F (drain every 120 ms), until 99",
         {{20, "before the first look for 0x86's answer"}, {1000, "before closing the port"}}},
        {"until Download returns", {}},
    };
}

struct FirmwareSizes {
    uint64_t modemImage = 0;
    uint64_t checksum = 0;
    uint64_t linuxImage = 0;
};

std::optional<FirmwareSizes> SizesIn(const fs::path& folder)
{
    std::error_code error;
    FirmwareSizes sizes;
    sizes.modemImage = fs::file_size(folder / payload::kModemImage, error);
    if (!error) sizes.checksum = fs::file_size(folder / payload::kModemChecksum, error);
    if (!error) sizes.linuxImage = fs::file_size(folder / payload::kLinuxImage, error);
    if (error) return std::nullopt;
    return sizes;
}

void PrintTransfer(const char* name, uint64_t bytes, double ms)
{
    std::printf("    %-12s %10llu bytes %9.1f ms %9.2f MB/s\n", name, static_cast<unsigned long long>(bytes), ms,
                static_cast<double>(bytes) / kMegabyte / (ms / 1000.0));
}

// Prints the stretches between consecutive `times` and the sums.
void PrintFigures(const std::vector<Clock::time_point>& times, const FirmwareSizes& sizes)
{
    const std::vector<Stretch> stretches = Stretches(sizes.checksum);
    double waits = 0;
    double other = 0;
    double transfers[4] = {};  // indexed by Transfer
    std::printf("\n  %-62s %9s %9s %9s %9s\n", "stretch (ms)", "gap", "waits", "transfer", "other");
    for (size_t i = 0; i < stretches.size(); ++i) {
        const Stretch& stretch = stretches[i];
        const double gap = Ms(times[i + 1] - times[i]);
        double fixed = 0;
        for (const Wait& wait : stretch.waits) fixed += wait.ms;
        const double rest = gap - fixed;
        waits += fixed;
        if (stretch.transfer == Transfer::kNone) {
            other += rest;
            std::printf("  %-62s %9.1f %9.0f %9s %9.1f\n", stretch.what.c_str(), gap, fixed, "-", rest);
        } else {
            transfers[static_cast<int>(stretch.transfer)] += rest;
            std::printf("  %-62s %9.1f %9.0f %9.1f %9s\n", stretch.what.c_str(), gap, fixed, rest, "-");
        }
        for (const Wait& wait : stretch.waits) std::printf("      %5u ms  %s\n", wait.ms, wait.what.c_str());
    }
    const double total = Ms(times.back() - times.front());
    const double transferred = transfers[1] + transfers[2] + transfers[3];
    std::printf("\n  total wall time      %9.1f ms  (PreparePort until Download returned)\n", total);
    std::printf("  fixed waits          %9.1f ms  %5.1f %%  (at their set lengths)\n", waits, 100 * waits / total);
    std::printf("  transfers            %9.1f ms  %5.1f %%\n", transferred, 100 * transferred / total);
    std::printf("  other                %9.1f ms  %5.1f %%  (requests and answers, file opens, reports, sleep overruns)\n",
                other, 100 * other / total);
    std::printf("\n  Transfers (1 MB = 10^6 bytes; a transfer ends when its last piece is in the socket;\n"
                "  the 100 ms pause before the Linux image's pieces and the checksum's pacing count at their set length)\n");
    PrintTransfer("modem image", sizes.modemImage, transfers[1]);
    PrintTransfer("checksum", sizes.checksum, transfers[2]);
    PrintTransfer("Linux image", sizes.linuxImage, transfers[3]);
    PrintTransfer("all three", sizes.modemImage + sizes.checksum + sizes.linuxImage, transferred);
}

// Ends the process when a round runs past its limit: the simulator is
// killed and the work folder removed first.
class Watchdog {
public:
    Watchdog(pid_t child, fs::path work)
        : thread_([this, child, work = std::move(work)] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (done_.wait_for(lock, kRoundLimit, [this] { return finished_; })) return;
              std::fprintf(stderr, "update_timing_bench: the round did not finish within %lld s\n",
                           static_cast<long long>(kRoundLimit.count()));
              kill(child, SIGKILL);
              std::error_code ignored;
              fs::remove_all(work, ignored);
              _exit(1);
          })
    {
    }

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

template <typename Condition>
bool WaitUpTo(std::chrono::seconds limit, Condition condition)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One update of the simulator whose link side waits on `announcePort`;
// prints its figures. 0 on success.
int UpdateOnce(uint16_t webPort, uint16_t announcePort, const fs::path& work, const FirmwareSizes& sizes)
{
    platform::Endpoints endpoints;
    endpoints.router = {"127.0.0.1", webPort};
    endpoints.announce = {"127.0.0.1", announcePort};
    endpoints.listenPort = 0;
    endpoints.hostFilter = "127.";
    endpoints.arpCommand = "true";
    TimingWindow window;
    download::CDownloadService service(download::ServiceSettingsFor(endpoints, platform::Utf8ToUtf16(work.string())));
    service.SetWindow(&window);
    service.LoadConfig(platform::Utf8ToUtf16(RESOURCE_DIR));
    service.SetLanguageFile(platform::Utf8ToUtf16(RESOURCE_DIR "/lan_ENG.ini"));

    std::vector<Clock::time_point> times{Clock::now()};
    if (service.PreparePort(0) != 0) return Fail("PreparePort failed: the rendezvous server did not start");
    if (!WaitUpTo(kConnectLimit, [&] { return service.Link().Server().AcceptedCount() >= 1; })) {
        return Fail("the link side did not connect");
    }
    times.push_back(Clock::now());
    if (!service.InitPort(0)) return Fail("InitPort failed");
    times.push_back(Clock::now());
    std::u16string version;
    if (service.GetVersion(0, version) != 0) return Fail("GetVersion failed");
    times.push_back(Clock::now());

    download::DownloadRequest request;
    request.firmwareFolder = platform::Utf8ToUtf16(FIRMWARE_DIR);
    uint32_t code = 0;
    const int result = service.Download(request, code);
    const Clock::time_point end = Clock::now();

    std::printf("  version %s; Download returned %d, result code %u\n", platform::Utf16ToUtf8(version).c_str(), result, code);
    for (const std::u16string& box : window.Boxes()) std::printf("  message box: %s\n", platform::Utf16ToUtf8(box).c_str());
    if (result != 0 || code != 0) return Fail("the update did not succeed");
    const auto marks = MarkerTimes(window.Reports());
    if (!marks) return Fail("the reports lack a progress value or a status text that marks a step");
    times.insert(times.end(), marks->begin(), marks->end());
    times.push_back(end);
    PrintFigures(times, sizes);
    return 0;
}

void PrintLines(const fs::path& file, const char* prefix)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) std::printf("%s%s\n", prefix, line.c_str());
}

int RunRound(int round, int rounds, const fs::path& work, const FirmwareSizes& sizes)
{
    std::printf("Round %d of %d\n", round, rounds);
    const fs::path errorLog = work / ("routersim-" + std::to_string(round) + ".log");
    bench::RoutersimChild routersim;
    if (!routersim.Start(ROUTERSIM_PROGRAM, {"--web", "127.0.0.1:0", "--announce-listen", "127.0.0.1:0", "--factory"},
                         errorLog.string())) {
        return Fail("cannot start " ROUTERSIM_PROGRAM);
    }
    const auto webPort = routersim.PortOfLine("routersim web interface on", kStartLimit);
    const auto announcePort = webPort ? routersim.PortOfLine("routersim link listening for announcements on", kStartLimit)
                                      : std::nullopt;
    if (!announcePort) return Fail("routersim did not say where it listens");
    std::printf("  routersim (pid %d): web 127.0.0.1:%u, link side waits for announcements on 127.0.0.1:%u, "
                "factory mode, no answer delay\n",
                static_cast<int>(routersim.Pid()), static_cast<unsigned>(*webPort), static_cast<unsigned>(*announcePort));
    int status = 0;
    {
        Watchdog watchdog(routersim.Pid(), work);
        status = UpdateOnce(*webPort, *announcePort, work, sizes);
    }
    routersim.Stop();
    PrintLines(errorLog, "  ");
    std::printf("\n");
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 1;
    if (!ParseRounds(argc, argv, rounds)) {
        std::fprintf(stderr, "usage: update_timing_bench [--rounds N]\n");
        return 2;
    }
    // Time scale 1 for this process and for routersim.
    unsetenv("FLASHDESK_TIME_SCALE");
    const auto sizes = SizesIn(FIRMWARE_DIR);
    if (!sizes) return Fail("the firmware set is missing in " FIRMWARE_DIR);
    char folderTemplate[] = "/tmp/update_timing_bench.XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) return Fail("cannot create a temporary folder");
    const fs::path work = folderTemplate;
    std::printf("update_timing_bench: the whole update by CDownloadService against routersim on 127.0.0.1, time scale 1\n"
                "  firmware %s: modem image %llu bytes, checksum %llu bytes, Linux image %llu bytes\n\n",
                FIRMWARE_DIR, static_cast<unsigned long long>(sizes->modemImage),
                static_cast<unsigned long long>(sizes->checksum), static_cast<unsigned long long>(sizes->linuxImage));
    int status = 0;
    for (int round = 1; round <= rounds && status == 0; ++round) status = RunRound(round, rounds, work, *sizes);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
