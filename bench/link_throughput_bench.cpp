// link_throughput_bench: how fast the host's rendezvous server and port
// stream a modem image to the router simulator's link side on loopback,
// next to a plain send() loop, and how much CPU the server's threads use
// while a session sits idle. Everything runs in this process on 127.0.0.1.
//
//   link_throughput_bench [--megabytes N] [--rounds N] [--idle-seconds N]
//
// Defaults: a 40 MiB image, 3 rounds of each path, 10 s of idle time.
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "count_options.h"
#include "host_transfer.h"
#include "link/net_serial.h"
#include "link/sock_producer.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "plain_transfer.h"
#include "routersim/link_peer.h"
#include "routersim/router_state.h"
#include "thread_cpu.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// Announcements every 500 ms and a short settling time after the server
// starts; the transfer itself does not wait on the clock.
constexpr double kSetupTimeScale = 10.0;

struct Settings {
    int megabytes = 40;
    int rounds = 3;
    int idleSeconds = 10;
};

bool ParseSettings(int argc, char** argv, Settings& settings)
{
    const auto to = [](int& field) { return [&field](long long value) { field = static_cast<int>(value); return true; }; };
    return bench::ParseCountOptions(argc, argv, {{"--megabytes", 1, INT_MAX, to(settings.megabytes)},
                                                 {"--rounds", 1, INT_MAX, to(settings.rounds)},
                                                 {"--idle-seconds", 1, INT_MAX, to(settings.idleSeconds)}});
}

std::vector<uint8_t> RandomBytes(size_t size)
{
    std::mt19937_64 generator(20240521);
    std::vector<uint8_t> bytes(size);
    for (size_t at = 0; at < size; at += 8) {
        const uint64_t word = generator();
        for (size_t i = 0; i < 8 && at + i < size; ++i) bytes[at + i] = static_cast<uint8_t>(word >> (8 * i));
    }
    return bytes;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

template <typename Condition>
bool WaitUpTo(std::chrono::seconds limit, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "link_throughput_bench: %s\n", what);
    return 1;
}

// The throughput rounds; false when a transfer failed or lost bytes.
bool MeasureThroughput(const Settings& settings, devlink::CNetSerial& port, routersim::LinkPeer& peer)
{
    const std::vector<uint8_t> image = RandomBytes(static_cast<size_t>(settings.megabytes) * 1024 * 1024);
    const double mib = static_cast<double>(image.size()) / kMiB;
    std::printf("Throughput: a %d MiB (%zu bytes) modem image, %d rounds of each path\n", settings.megabytes, image.size(),
                settings.rounds);
    std::printf("  host path:  CSockProducer + CNetSerial: start block 0x98, RawWrite of 1350-byte pieces, to routersim's link side\n");
    std::printf("  plain path: blocking send() of 1350-byte pieces (TCP_NODELAY, 16 MiB buffers) to a receiver thread\n");
    std::vector<double> host;
    std::vector<double> plain;
    for (int round = 1; round <= settings.rounds; ++round) {
        const auto hostResult = bench::HostTransfer(port, peer, image);
        if (!hostResult) return Fail("the host path transfer failed") == 0;
        if (hostResult->received != image) return Fail("the link side kept other bytes than were sent") == 0;
        const auto plainResult = bench::PlainTransfer(image);
        if (!plainResult) return Fail("the plain transfer failed") == 0;
        if (plainResult->received != image) return Fail("the plain receiver kept other bytes than were sent") == 0;
        host.push_back(mib / hostResult->seconds);
        plain.push_back(mib / plainResult->seconds);
        std::printf("  round %d: host path %7.1f MiB/s (%.3f s, start block out after %.1f ms)   plain path %7.1f MiB/s (%.3f s)"
                    "   bytes equal: yes\n",
                    round, host.back(), hostResult->seconds, 1000.0 * hostResult->startSeconds, plain.back(), plainResult->seconds);
    }
    const double hostMedian = Median(host);
    const double plainMedian = Median(plain);
    std::printf("  median:  host path %8.1f MiB/s   plain path %8.1f MiB/s   host/plain = %.2f\n\n", hostMedian, plainMedian,
                hostMedian / plainMedian);
    return true;
}

void MeasureIdleCpu(const Settings& settings, const std::vector<pid_t>& serverThreads)
{
    std::printf("Idle CPU: the server's %zu threads over %d s, session open, no traffic, time scale 1\n", serverThreads.size(),
                settings.idleSeconds);
    std::vector<bench::CpuSeconds> before;
    for (const pid_t thread : serverThreads) before.push_back(bench::ThreadCpu(thread).value_or(bench::CpuSeconds{}));
    const bench::CpuSeconds processBefore = bench::ProcessCpu();
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(settings.idleSeconds));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const bench::CpuSeconds processAfter = bench::ProcessCpu();
    double total = 0;
    for (size_t i = 0; i < serverThreads.size(); ++i) {
        const bench::CpuSeconds after = bench::ThreadCpu(serverThreads[i]).value_or(before[i]);
        const double user = after.user - before[i].user;
        const double system = after.system - before[i].system;
        total += user + system;
        std::printf("  thread %d: %.2f s user + %.2f s system\n", static_cast<int>(serverThreads[i]), user, system);
    }
    const double process = (processAfter.user - processBefore.user) + (processAfter.system - processBefore.system);
    std::printf("  server threads: %.2f CPU s in %.1f s = %.2f %% of one core\n", total, elapsed, 100.0 * total / elapsed);
    std::printf("  whole process (getrusage, link side and main thread included): %.2f CPU s = %.2f %% of one core\n", process,
                100.0 * process / elapsed);
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!ParseSettings(argc, argv, settings)) {
        std::fprintf(stderr, "usage: link_throughput_bench [--megabytes N] [--rounds N] [--idle-seconds N]\n");
        return 2;
    }
    char folderTemplate[] = "/tmp/link_throughput_bench.XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) return Fail("cannot create a temporary folder");
    const std::filesystem::path folder = folderTemplate;
    platform::SetTimeScale(kSetupTimeScale);

    routersim::RouterState state;
    state.SetFactoryMode(true);
    routersim::LinkPeer peer;
    if (!peer.Start(state, "127.0.0.1", 0)) return Fail("the link side did not start");

    const std::vector<pid_t> threadsBefore = bench::ThreadIds();
    devlink::SockProducerSettings serverSettings;
    serverSettings.listenPort = 0;
    serverSettings.announceHost = "127.0.0.1";
    serverSettings.announcePort = peer.Port();
    serverSettings.hostFilter = "127.0";
    serverSettings.logFolder = platform::Utf8ToUtf16(folder.string());
    auto server = std::make_unique<devlink::CSockProducer>(serverSettings);
    if (server->InitInstance() != 0) return Fail("the rendezvous server did not start");
    std::vector<pid_t> serverThreads;
    const std::set<pid_t> known(threadsBefore.begin(), threadsBefore.end());
    for (const pid_t thread : bench::ThreadIds()) {
        if (known.count(thread) == 0) serverThreads.push_back(thread);
    }

    int status = 0;
    {
        devlink::CNetSerial port(*server);
        if (!WaitUpTo(std::chrono::seconds(10), [&] { return server->AcceptedCount() >= 1; })) return Fail("the link side never connected");
        if (port.InitPort(0) != 1) return Fail("the port did not open");
        std::printf("link_throughput_bench: server on port %u, link side on UDP 127.0.0.1:%u, connected\n\n",
                    static_cast<unsigned>(server->ListenPort()), static_cast<unsigned>(peer.Port()));
        if (!MeasureThroughput(settings, port, peer)) status = 1;
        if (status == 0) {
            platform::SetTimeScale(1.0);
            MeasureIdleCpu(settings, serverThreads);
        }
        platform::SetTimeScale(kSetupTimeScale);
        port.ClosePort();
    }
    server.reset();
    peer.Stop();
    std::filesystem::remove_all(folder);
    return status;
}
