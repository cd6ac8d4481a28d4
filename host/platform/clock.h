// The host's clock: every specified wait, deadline and socket limit runs on
// it. By default it is the monotonic clock sped up by the time scale
// (FLASHDESK_TIME_SCALE=N: sleeps last 1/N of their nominal length and the
// clock advances N times faster, so protocol constants stay as specified in
// the code). Tests install a clock of their own that they drive.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// A deadline that is never reached.
inline constexpr uint64_t kNoDeadline = UINT64_MAX;

class Clock {
public:
    // Asks an outside source (a socket, a child process) whether it is
    // ready, waiting at most the given real microseconds; true when ready.
    using OutsidePoll = std::function<bool(uint64_t realUs)>;

    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start.
    virtual uint64_t NowMs() = 0;
    // Waits until NowMs() reaches `deadlineMs` or `done` holds; `done` is
    // checked at the start and after every Notify(). Returns done().
    virtual bool WaitUntil(uint64_t deadlineMs, const std::function<bool()>& done) = 0;
    // Something that a `done` of WaitUntil reads has changed.
    virtual void Notify() = 0;
    // Polls an outside source until it is ready (true) or NowMs() reaches
    // `deadlineMs` (false). With kNoDeadline, one poll of `pollUs` real
    // microseconds: a polling interval, not a protocol wait.
    virtual bool WaitOutside(uint64_t deadlineMs, uint64_t pollUs, const OutsidePoll& poll) = 0;
    // Real milliseconds that a reply from a peer may take on a loaded
    // machine, however fast this clock runs: a reply window lasts at least
    // this long (or its own length, if shorter) in real time. 0 for a clock
    // that itself waits for every byte under way before it moves.
    virtual uint32_t ReplyFloorMs() const = 0;
};

// The time a peer has to answer (or the send thread to send): `windowMs` of
// clock time, and never less real time than the clock's reply floor, so that
// a time scale cannot make a reply late that at scale 1 would be in time.
class ReplyWindow {
public:
    explicit ReplyWindow(uint32_t windowMs);
    bool Open() const;

private:
    uint64_t clockEndMs_;
    uint64_t realEndUs_;
};

// The clock in force: the scaled monotonic clock unless UseClock() gave another.
Clock& CurrentClock();
// Installs `clock` for the whole process (nullptr: back to the scaled
// monotonic clock). Tests only, before the threads that use it start.
void UseClock(Clock* clock);

// The scale of the default clock: FLASHDESK_TIME_SCALE when it holds a
// number >= 1, otherwise 1. Read once, on first use.
double TimeScale();
// Replaces the scale for the rest of the process (tests, simulators).
void SetTimeScale(double scale);
// Real microseconds that `ms` milliseconds last on the default clock.
uint64_t ScaledMicroseconds(uint32_t ms);

// Shorthands for the clock in force.
uint64_t MonotonicMs();
void SleepMs(uint32_t ms);
// Polls `poll` for at most `timeoutMs` of clock time; true once it was ready.
bool WaitOutsideFor(uint32_t timeoutMs, const Clock::OutsidePoll& poll);
// A real-time pause of a polling loop (not a protocol wait).
void PollPause(uint64_t realUs);

}  // namespace platform
