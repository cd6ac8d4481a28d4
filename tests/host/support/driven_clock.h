// A clock that tests drive. Time stands still until the test moves it, and
// it moves only while the system is settled: every thread that has waited on
// the clock waits on it again (or polls an outside source), no byte is under
// way between two sockets of the process, and every condition the test
// added holds. So a reply that is on its way always arrives before the next
// deadline, however slowly the machine runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace testing_support {

class DrivenClock final : public platform::Clock {
public:
    struct Shared;

    // Installs itself as the process's clock.
    DrivenClock();
    // Stops a free run and puts the default clock back.
    ~DrivenClock() override;
    DrivenClock(const DrivenClock&) = delete;
    DrivenClock& operator=(const DrivenClock&) = delete;

    uint64_t NowMs() override;
    bool WaitUntil(uint64_t deadlineMs, const std::function<bool()>& done) override;
    void Notify() override;
    bool WaitOutside(uint64_t deadlineMs, uint64_t pollUs, const OutsidePoll& poll) override;
    uint32_t ReplyFloorMs() const override { return 0; }

    // Time moves only while `condition` holds too (for example: no block
    // waits in a send slot). Called without the clock's lock.
    void AddSettledCondition(std::function<bool()> condition);

    // Makes the calling thread one that the clock knows: from now on time
    // moves only while it waits. A thread that has not waited yet is not
    // known, and time could run on before it has started its work.
    void Enroll();

    // Waits in real time (bounded) until the system is settled.
    bool Settle();
    // Moves time forward by `ms`, stopping at every deadline on the way and
    // letting the threads woken there run until the system settles again.
    // False when it did not settle in time (a test fault).
    bool Advance(uint64_t ms);
    // Moves time to the next deadline of a waiting thread (at most `limitMs`
    // ahead) and settles; false when none is waiting or it did not settle.
    bool Step(uint64_t limitMs = platform::kNoDeadline);
    // Lets time run from deadline to deadline until `condition` holds
    // (checked while settled), for at most `limitMs` of clock time; true once
    // it holds. While no thread waits with a deadline it waits in real time
    // (a thread just started may not have waited yet), and moves time to the
    // limit only after two seconds of that.
    bool RunUntil(const std::function<bool()>& condition, uint64_t limitMs = 3600000);
    // Runs `work` on a thread of its own, enrolled before time runs, while
    // time runs until it has returned; its result, or nothing when it did
    // not return within `limitMs`.
    template <typename Work>
    auto Run(Work work, uint64_t limitMs = 3600000) -> std::optional<decltype(work())>;

    // Lets time run on a thread of the clock's whenever the system settles,
    // until Hold() or destruction: for tests whose own thread waits on
    // something else (the window, a fake router).
    void RunFreely();
    void Hold();

    // How many times bytes under way were taken as lost (a connection closed
    // with data still on its way) after a second without progress.
    int ForcedSettles() const { return forcedSettles_.load(); }

private:
    // Under the lock: whether every known thread waits; the earliest deadline.
    bool ThreadsWaiting(std::unique_lock<std::mutex>& lock, uint64_t& earliest);
    bool OutsideSettled();
    // Waits until settled; moves time to min(earliest deadline, target).
    bool SettleAndMove(uint64_t target, bool moveWithoutDeadline);

    std::shared_ptr<Shared> shared_;
    std::mutex conditionsMutex_;
    std::vector<std::function<bool()>> conditions_;
    std::atomic<int> forcedSettles_{0};
    std::atomic<bool> freeRun_{false};
    std::atomic<std::thread::id> driverId_{};
    std::thread driver_;
};

template <typename Work>
auto DrivenClock::Run(Work work, uint64_t limitMs) -> std::optional<decltype(work())>
{
    using Result = decltype(work());
    std::optional<Result> result;
    std::atomic<bool> finished{false};
    std::promise<void> enrolled;
    std::thread worker([&] {
        Enroll();
        enrolled.set_value();
        result = work();
        finished = true;
        Notify();
    });
    enrolled.get_future().wait();
    const bool returned = RunUntil([&] { return finished.load(); }, limitMs);
    if (!returned) {
        // The work is still blocked: let time run until it ends, so that the
        // thread can be joined; the test fails on the empty result.
        RunFreely();
    }
    worker.join();
    if (!returned) {
        Hold();
        return std::nullopt;
    }
    return result;
}

}  // namespace testing_support
