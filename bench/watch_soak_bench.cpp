// watch_soak_bench: an hour of the main window's device-watch loop in about
// a minute, with the real web commands, download service and rendezvous
// server against the router simulator on 127.0.0.1. The router is in work
// mode, in factory mode and (with three phases) gone in turn; resident
// memory, threads and open descriptors of this process are printed at
// every sample.
//
//   watch_soak_bench [--scale N] [--minutes N] [--sample-every N] [--phase-minutes N] [--phases 2|3]
//
// Defaults: time 60 times faster, 60 scaled minutes, a sample every 6, the
// router changing every 2 minutes through 3 phases.
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "count_options.h"
#include "platform/files.h"
#include "watch_soak.h"
#include "../support/test_env.h"

namespace {

bool ParseSettings(int argc, char** argv, watch_soak::SoakSettings& settings)
{
    const auto to = [](auto& field) {
        return [&field](long long value) {
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
            return true;
        };
    };
    const auto phases = [&settings](long long value) {
        settings.routerGoes = value == 3;
        return value == 2 || value == 3;
    };
    return bench::ParseCountOptions(argc, argv, {{"--scale", 1, UINT32_MAX, to(settings.timeScale)},
                                                 {"--minutes", 1, UINT32_MAX, to(settings.scaledMinutes)},
                                                 {"--sample-every", 1, UINT32_MAX, to(settings.sampleEveryMinutes)},
                                                 {"--phase-minutes", 1, UINT32_MAX, to(settings.phaseMinutes)},
                                                 {"--phases", 1, UINT32_MAX, phases}});
}

void Print(const watch_soak::SoakSettings& settings, const watch_soak::SoakFigures& figures)
{
    std::printf("watch_soak_bench: %u scaled minutes at time scale %.0f, router changing every %u minutes (%s)\n\n",
                settings.scaledMinutes, settings.timeScale, settings.phaseMinutes,
                settings.routerGoes ? "work mode, factory mode, gone" : "work mode, factory mode");
    std::printf("before the run: %s\n", testing_support::Describe(figures.before).c_str());
    std::printf("%7s %8s %9s %8s %12s %8s %10s %11s %11s\n", "minute", "real s", "rss KiB", "threads", "descriptors", "sockets",
                "web modes", "link conns", "link blocks");
    for (const watch_soak::SoakSample& sample : figures.samples) {
        std::printf("%7u %8.1f %9ld %8d %12d %8d %10d %11d %11d\n", sample.scaledMinute, sample.realSeconds, sample.resources.residentKiB,
                    sample.resources.threads, sample.resources.descriptors, sample.resources.sockets, sample.webModeQueries,
                    sample.linkConnections, sample.linkBlocks);
    }
    std::printf("after the run: %s\n\n", testing_support::Describe(figures.after).c_str());
    if (figures.samples.size() >= 2) {
        // The first sample after one whole cycle of the router is the reference.
        const testing_support::ProcessResources& warm = figures.samples[1].resources;
        const testing_support::ProcessResources& last = figures.samples.back().resources;
        std::printf("growth from minute %u to minute %u: rss %+ld KiB, threads %+d, descriptors %+d, sockets %+d\n",
                    figures.samples[1].scaledMinute, figures.samples.back().scaledMinute, last.residentKiB - warm.residentKiB,
                    last.threads - warm.threads, last.descriptors - warm.descriptors, last.sockets - warm.sockets);
    }
    std::printf("phases: %d; work/factory phases ending with UPDATE enabled: %d; gone phases ending with it disabled: %d; "
                "simulator changes failed: %d\n",
                figures.phases, figures.readyPhases, figures.goneDetected, figures.routerFaults);
    std::printf("duration: %.1f s\n", figures.seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    watch_soak::SoakSettings settings;
    if (!ParseSettings(argc, argv, settings)) {
        std::fprintf(stderr, "usage: watch_soak_bench [--scale N] [--minutes N] [--sample-every N] [--phase-minutes N] [--phases 2|3]\n");
        return 2;
    }
    const std::u16string folder = testing_support::UsePrivateTempFolder("watch-soak-bench");
    const watch_soak::SoakFigures figures = watch_soak::RunWatchSoak(settings);
    platform::DeleteTree(folder);
    if (!figures.started) {
        std::fprintf(stderr, "watch_soak_bench: the window or the router simulator did not start\n");
        return 1;
    }
    Print(settings, figures);
    return 0;
}
