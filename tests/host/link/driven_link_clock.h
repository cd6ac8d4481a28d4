// The driven clock as the link tests use it, with workarounds for two
// faults of testing_support::DrivenClock (to go once it is fixed):
//
// - It gives up a wait on an outside source whose deadline has already
//   come without polling it once, so every zero-timeout socket call (the
//   rendezvous server's Accept(..., 0) and Receive(..., 0) after its
//   select, a test's ReceiveFrom(..., 0)) reports a time-out even with data
//   waiting, and the server never accepts or reads anything.
//   PassedDeadlinePoll stands in front of it and does that one poll.
// - Run(work) starts moving time before its new worker thread has waited
//   on the clock: with no deadline known yet it jumps to its limit, and the
//   work then finds its limit passed. RunOnClock lets time run only once
//   the worker is known to the clock.
//
// StepUntil moves time from deadline to deadline, and only to a deadline:
// RunUntil jumps to its limit when no thread waits with a deadline (as when
// the server's announcement thread has not started waiting yet).
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "../support/driven_clock.h"
#include "../support/poll_until.h"
#include "platform/clock.h"

namespace link_testing {

class PassedDeadlinePoll final : public platform::Clock {
public:
    explicit PassedDeadlinePoll(testing_support::DrivenClock& driven) : driven_(driven) { platform::UseClock(this); }
    ~PassedDeadlinePoll() override { platform::UseClock(&driven_); }
    PassedDeadlinePoll(const PassedDeadlinePoll&) = delete;
    PassedDeadlinePoll& operator=(const PassedDeadlinePoll&) = delete;

    uint64_t NowMs() override { return driven_.NowMs(); }
    bool WaitUntil(uint64_t deadlineMs, const std::function<bool()>& done) override { return driven_.WaitUntil(deadlineMs, done); }
    void Notify() override { driven_.Notify(); }
    bool WaitOutside(uint64_t deadlineMs, uint64_t pollUs, const OutsidePoll& poll) override
    {
        // A call that does not wait: one look at the source, no time passes.
        if (deadlineMs != platform::kNoDeadline && driven_.NowMs() >= deadlineMs) return poll(0);
        return driven_.WaitOutside(deadlineMs, pollUs, poll);
    }
    uint32_t ReplyFloorMs() const override { return driven_.ReplyFloorMs(); }

private:
    testing_support::DrivenClock& driven_;
};

// DrivenClock::Run, with the worker known to the clock before time moves:
// a wait that returns at once makes it so.
template <typename Work>
auto RunOnClock(testing_support::DrivenClock& clock, Work work, uint64_t limitMs = 3600000) -> std::optional<decltype(work())>
{
    using Result = decltype(work());
    std::optional<Result> result;
    std::atomic<bool> known{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        platform::SleepMs(0);
        known = true;
        result = work();
        finished = true;
        clock.Notify();
    });
    const bool started = testing_support::PollUntil([&] { return known.load(); });
    const bool returned = started && clock.RunUntil([&] { return finished.load(); }, limitMs);
    if (!returned) {
        // Still blocked: let time run until it ends so that it can be
        // joined; the caller fails on the empty result.
        clock.RunFreely();
    }
    worker.join();
    if (!returned) {
        clock.Hold();
        return std::nullopt;
    }
    return result;
}

// Moves time from one waiting thread's deadline to the next, at most
// `limitMs` ahead, until `condition` holds (checked while settled). When no
// thread waits with a deadline, it waits in real time (bounded) for one.
template <typename Condition>
bool StepUntil(testing_support::DrivenClock& clock, Condition condition, uint64_t limitMs)
{
    const uint64_t end = clock.NowMs() + limitMs;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        if (clock.Settle() && condition()) return true;
        const uint64_t now = clock.NowMs();
        if (now >= end) return false;
        if (!clock.Step(end - now)) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

}  // namespace link_testing
