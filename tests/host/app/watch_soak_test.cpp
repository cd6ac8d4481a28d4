// The device-watch loop over scaled minutes with the real web commands,
// download service and rendezvous server against the router simulator:
// what the process holds does not grow, and the loop keeps finding the
// router as it changes.
#include <gtest/gtest.h>

#include "watch_soak.h"
#include "../support/test_env.h"

namespace {

using testing_support::ProcessResources;
using watch_soak::SoakFigures;

// After the first cycle of the router: at most this much more than then
// (the resident size only where it means something, see kResidentSizeMeaningful).
constexpr long kResidentToleranceKiB = 2048;
constexpr int kThreadTolerance = 2;
constexpr int kDescriptorTolerance = 2;

void ExpectNoGrowth(const SoakFigures& figures)
{
    ASSERT_GE(figures.samples.size(), 3u);
    const ProcessResources& warm = figures.samples[1].resources;
    for (size_t i = 2; i < figures.samples.size(); ++i) {
        const ProcessResources& now = figures.samples[i].resources;
        SCOPED_TRACE("minute " + std::to_string(figures.samples[i].scaledMinute));
        if (testing_support::kResidentSizeMeaningful) {
            EXPECT_LE(now.residentKiB, warm.residentKiB + kResidentToleranceKiB);
        }
        EXPECT_LE(now.threads, warm.threads + kThreadTolerance);
        EXPECT_LE(now.descriptors, warm.descriptors + kDescriptorTolerance);
        EXPECT_LE(now.sockets, warm.sockets + kDescriptorTolerance);
    }
    EXPECT_LE(figures.after.threads, figures.before.threads + testing_support::kSanitizerThreads);
    EXPECT_GE(figures.after.threads, figures.before.threads);
    EXPECT_EQ(figures.after.descriptors, figures.before.descriptors);
}

void ExpectTheRouterFoundEveryTime(const SoakFigures& figures, int phases, int gonePhases)
{
    EXPECT_EQ(figures.routerFaults, 0);
    EXPECT_EQ(figures.phases, phases);
    // A phase that ends just as the loop is between two queries is missed
    // now and then on a busy machine; most must show the router ready.
    EXPECT_GE(figures.readyPhases, (phases - gonePhases) * 3 / 4);
    EXPECT_LE(figures.readyPhases, phases - gonePhases);
    EXPECT_EQ(figures.goneDetected, gonePhases);
    // The link side gets requests in every cycle. Once factory mode was seen
    // the loop stays on the link while it answers; only a router that was
    // gone is asked over the web again and connects anew.
    for (size_t i = 1; i < figures.samples.size(); ++i) {
        SCOPED_TRACE("minute " + std::to_string(figures.samples[i].scaledMinute));
        EXPECT_GT(figures.samples[i].linkBlocks, figures.samples[i - 1].linkBlocks);
        if (gonePhases == 0) continue;
        EXPECT_GT(figures.samples[i].webModeQueries, figures.samples[i - 1].webModeQueries);
        EXPECT_GT(figures.samples[i].linkConnections, figures.samples[i - 1].linkConnections);
    }
}

// Twelve scaled minutes at time scale 100, the router changing every minute.
SoakFigures TwelveScaledMinutes(bool routerGoes, int sampleEveryMinutes)
{
    watch_soak::SoakSettings settings;
    settings.timeScale = 100;
    settings.scaledMinutes = 12;
    settings.phaseMinutes = 1;
    settings.sampleEveryMinutes = sampleEveryMinutes;
    settings.routerGoes = routerGoes;
    return watch_soak::RunWatchSoak(settings);
}

TEST(WatchSoak, TwelveMinutesOfWorkAndFactoryModeHoldSteady)
{
    testing_support::UsePrivateTempFolder("watch-soak-modes");
    const SoakFigures figures = TwelveScaledMinutes(false, 2);
    ASSERT_TRUE(figures.started);
    ExpectNoGrowth(figures);
    ExpectTheRouterFoundEveryTime(figures, 12, 0);
}

TEST(WatchSoak, TwelveMinutesWithTheRouterGoneInBetweenHoldSteady)
{
    testing_support::UsePrivateTempFolder("watch-soak-gone");
    const SoakFigures figures = TwelveScaledMinutes(true, 3);
    ASSERT_TRUE(figures.started);
    ExpectNoGrowth(figures);
    ExpectTheRouterFoundEveryTime(figures, 12, 4);
}

}  // namespace
