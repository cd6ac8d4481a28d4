// The clock that tests drive: time stands still until the test moves it,
// and it moves only while every thread that uses it waits and no byte is
// under way between two sockets of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "loopback_pair.h"
#include "../support/driven_clock.h"
#include "../support/poll_until.h"

namespace {

using testing_support::DrivenClock;
using testing_support::PollUntil;

// Runs `body` on a thread that the clock knows before this returns, and
// that holds time while it runs.
std::thread Enrolled(DrivenClock& clock, std::function<void()> body)
{
    std::promise<void> enrolled;
    std::future<void> known = enrolled.get_future();
    std::thread thread([&clock, &enrolled, body = std::move(body)] {
        clock.Enroll();
        enrolled.set_value();
        body();
    });
    known.wait();
    return thread;
}

using DrivenClockTest = ::testing::Test;

TEST_F(DrivenClockTest, TimeStandsStillUntilDriven)
{
    DrivenClock clock;
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(platform::MonotonicMs(), start);
    std::atomic<bool> woke{false};
    std::thread sleeper = Enrolled(clock, [&] {
        platform::SleepMs(100);
        woke = true;
    });
    // The sleeper waits now; nobody moves time, so it goes on waiting.
    ASSERT_TRUE(clock.Settle());
    EXPECT_EQ(platform::MonotonicMs(), start);
    EXPECT_FALSE(woke);
    ASSERT_TRUE(clock.Advance(99));
    EXPECT_EQ(clock.NowMs(), start + 99);
    EXPECT_FALSE(woke);
    ASSERT_TRUE(clock.Advance(1));
    // Advance returns once the system has settled again: the woken
    // sleeper has ended.
    EXPECT_TRUE(woke);
    EXPECT_EQ(clock.NowMs(), start + 100);
    sleeper.join();
}

TEST_F(DrivenClockTest, AdvanceWakesSleepersInDeadlineOrder)
{
    DrivenClock clock;
    const uint64_t start = clock.NowMs();
    std::mutex mutex;
    std::vector<std::pair<uint32_t, uint64_t>> wakes;
    std::vector<std::thread> sleepers;
    for (const uint32_t ms : {300u, 100u, 250u, 200u}) {
        sleepers.push_back(Enrolled(clock, [&, ms] {
            platform::SleepMs(ms);
            std::lock_guard<std::mutex> lock(mutex);
            wakes.emplace_back(ms, platform::MonotonicMs());
        }));
    }
    ASSERT_TRUE(clock.Advance(1000));
    for (std::thread& sleeper : sleepers) sleeper.join();
    const std::vector<std::pair<uint32_t, uint64_t>> expected{
        {100u, start + 100}, {200u, start + 200}, {250u, start + 250}, {300u, start + 300}};
    EXPECT_EQ(wakes, expected);
    EXPECT_EQ(clock.NowMs(), start + 1000);
}

TEST_F(DrivenClockTest, AThreadThatWokeHoldsTimeUntilItWaitsAgain)
{
    DrivenClock clock;
    const uint64_t start = clock.NowMs();
    std::atomic<bool> release{false};
    std::atomic<uint64_t> firstWake{0};
    std::atomic<uint64_t> releasedAt{0};
    std::atomic<uint64_t> secondWake{0};
    std::thread sleeper = Enrolled(clock, [&] {
        platform::SleepMs(100);
        firstWake = platform::MonotonicMs();
        // Busy outside the clock (not waiting on it) until released.
        PollUntil([&] { return release.load(); });
        platform::SleepMs(100);
        secondWake = platform::MonotonicMs();
    });
    // Releases the sleeper a while after it woke, from a thread that never
    // waits on the clock: meanwhile Advance below tries to move on.
    std::thread releaser([&] {
        PollUntil([&] { return firstWake.load() != 0; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        releasedAt = platform::MonotonicMs();
        release = true;
    });
    ASSERT_TRUE(clock.Advance(1000));
    releaser.join();
    sleeper.join();
    EXPECT_EQ(firstWake, start + 100);
    EXPECT_EQ(releasedAt, start + 100);
    EXPECT_EQ(secondWake, start + 200);
    EXPECT_EQ(clock.NowMs(), start + 1000);
}

TEST_F(DrivenClockTest, TcpBytesUnderWayHoldTime)
{
    DrivenClock clock;
    LoopbackPair pair;
    ASSERT_TRUE(pair.Connect());
    const uint64_t start = clock.NowMs();
    std::atomic<uint64_t> sleeperWake{0};
    std::thread sleeper = Enrolled(clock, [&] {
        platform::SleepMs(100);
        sleeperWake = platform::MonotonicMs();
    });
    ASSERT_TRUE(pair.client.Send("hello", 5));
    // The other end reads the bytes a while later, from a thread that has
    // not waited on the clock before: until then only the bytes under way
    // keep time from reaching the sleeper's deadline.
    std::atomic<uint64_t> readAt{0};
    std::string got;
    platform::ReceiveStatus status = platform::ReceiveStatus::kTimeout;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        readAt = platform::MonotonicMs();
        char buffer[8];
        size_t received = 0;
        status = pair.server.Receive(buffer, sizeof buffer, received, 5000);
        if (status == platform::ReceiveStatus::kData) got.assign(buffer, received);
    });
    ASSERT_TRUE(clock.Advance(1000));
    reader.join();
    sleeper.join();
    EXPECT_EQ(status, platform::ReceiveStatus::kData);
    EXPECT_EQ(got, "hello");
    // Bytes without progress for a second are taken as lost: only a reader
    // held up that long by a loaded machine may have seen time move.
    if (clock.ForcedSettles() == 0) {
        EXPECT_EQ(readAt, start);
    }
    EXPECT_EQ(sleeperWake, start + 100);
    EXPECT_EQ(clock.NowMs(), start + 1000);
}

TEST_F(DrivenClockTest, AWaitWithADeadlineEndsExactlyThere)
{
    DrivenClock clock;
    LoopbackPair pair;
    ASSERT_TRUE(pair.Connect());
    const uint64_t start = clock.NowMs();
    platform::ReceiveStatus status = platform::ReceiveStatus::kData;
    std::atomic<uint64_t> endedAt{0};
    std::thread receiver = Enrolled(clock, [&] {
        // Nothing is sent: the receive waits out its limit of clock time.
        char buffer[8];
        size_t received = 0;
        status = pair.server.Receive(buffer, sizeof buffer, received, 250);
        endedAt = platform::MonotonicMs();
    });
    std::atomic<uint64_t> pollEndedAt{0};
    bool ready = true;
    std::thread poller = Enrolled(clock, [&] {
        const uint64_t deadline = platform::MonotonicMs() + 400;
        ready = platform::CurrentClock().WaitOutside(deadline, 0, [](uint64_t realUs) {
            std::this_thread::sleep_for(std::chrono::microseconds(realUs));
            return false;
        });
        pollEndedAt = platform::MonotonicMs();
    });
    ASSERT_TRUE(clock.Advance(1000));
    receiver.join();
    poller.join();
    EXPECT_EQ(status, platform::ReceiveStatus::kTimeout);
    EXPECT_EQ(endedAt, start + 250);
    EXPECT_FALSE(ready);
    EXPECT_EQ(pollEndedAt, start + 400);
}

// A socket that a real-time poll found ready is read with a limit of 0, as
// the rendezvous server's receive thread reads and accepts: that still
// looks once.
TEST_F(DrivenClockTest, AZeroLimitStillLooksOnce)
{
    DrivenClock clock;
    LoopbackPair pair;
    ASSERT_TRUE(pair.Connect());
    ASSERT_TRUE(pair.client.Send("x", 1));
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    ASSERT_TRUE(PollUntil([&] { return platform::WaitForSockets({pair.server.Handle()}, {}, 10000, readable, writable) == 1; }));
    char buffer[4];
    size_t received = 0;
    EXPECT_EQ(pair.server.Receive(buffer, sizeof buffer, received, 0), platform::ReceiveStatus::kData);

    platform::TcpSocket second;
    ASSERT_TRUE(second.Open());
    ASSERT_TRUE(second.Connect(kLoopback, pair.listener.Port(), 5000));
    ASSERT_TRUE(PollUntil([&] { return platform::WaitForSockets({pair.listener.Handle()}, {}, 10000, readable, writable) == 1; }));
    platform::TcpSocket accepted;
    EXPECT_TRUE(pair.listener.Accept(accepted, 0));
    // Whatever was not taken is counted as taken when the socket closes.
    pair.server.Close();
}

TEST_F(DrivenClockTest, RunReturnsTheWorksResult)
{
    DrivenClock clock;
    const uint64_t start = clock.NowMs();
    // A product call that waits 390 s of clock time.
    const std::optional<uint64_t> result = clock.Run([] {
        platform::SleepMs(390000);
        return platform::MonotonicMs();
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, start + 390000);
}

// Run() must not let time pass a call that works for a while before it
// first waits on the clock (here: 50 ms of real work, then a 100 ms wait).
TEST_F(DrivenClockTest, RunWaitsForItsWorkToStart)
{
    DrivenClock clock;
    const uint64_t start = clock.NowMs();
    const std::optional<uint64_t> result = clock.Run([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform::SleepMs(100);
        return platform::MonotonicMs();
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, start + 100);
}

TEST_F(DrivenClockTest, StopSignalCutsASleepShortWithoutMovingTime)
{
    DrivenClock clock;
    platform::StopSignal stop;
    const uint64_t start = clock.NowMs();
    std::atomic<int> slept{-1};
    std::atomic<uint64_t> endedAt{0};
    std::thread sleeper = Enrolled(clock, [&] {
        slept = stop.SleepFor(60000) ? 1 : 0;
        endedAt = platform::MonotonicMs();
    });
    ASSERT_TRUE(clock.Settle());  // the sleeper waits
    stop.Request();
    const bool ended = PollUntil([&] { return slept.load() != -1; });
    if (!ended) clock.Advance(60000);  // frees the sleeper; the test has failed
    sleeper.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(slept, 0);
    EXPECT_EQ(endedAt, start);
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_FALSE(stop.SleepFor(0));
}

// On the driven clock a reply window has no real-time floor: every byte
// under way arrives before time moves.
TEST_F(DrivenClockTest, AReplyWindowClosesExactlyAtItsEnd)
{
    DrivenClock clock;
    EXPECT_EQ(clock.ReplyFloorMs(), 0u);
    const platform::ReplyWindow window(100);
    EXPECT_TRUE(window.Open());
    ASSERT_TRUE(clock.Advance(99));
    EXPECT_TRUE(window.Open());
    ASSERT_TRUE(clock.Advance(1));
    EXPECT_FALSE(window.Open());
}

TEST_F(DrivenClockTest, DestroyingItPutsTheDefaultClockBack)
{
    platform::Clock* const before = &platform::CurrentClock();
    {
        DrivenClock clock;
        EXPECT_EQ(&platform::CurrentClock(), &clock);
    }
    EXPECT_EQ(&platform::CurrentClock(), before);
}

}  // namespace
