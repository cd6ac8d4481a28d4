#include "driven_clock.h"

#include <algorithm>
#include <chrono>

#include <pthread.h>

#include "platform/tcp_socket.h"

namespace testing_support {
namespace {

using std::chrono::steady_clock;

// How long, in real time, the system may take to settle before a step
// counts as failed: far beyond any scheduling delay of a loaded machine.
constexpr auto kSettleLimit = std::chrono::seconds(120);
// Bytes under way that make no progress for this long are taken as lost.
constexpr auto kTrafficStall = std::chrono::seconds(1);
// How often the driver looks again at what it cannot be woken for
// (socket counters, the test's conditions).
constexpr auto kRecheck = std::chrono::milliseconds(1);
// How long RunUntil waits for some thread to wait with a deadline before
// it moves time to its limit.
constexpr auto kNothingWaits = std::chrono::seconds(2);
// The longest real poll of an outside source inside one wait.
constexpr uint64_t kOutsideSliceUs = 2000;
constexpr uint64_t kStartMs = 1000000000;

enum class State { kRunning, kWaiting, kOutside };

struct Record {
    State state = State::kRunning;
    uint64_t deadline = platform::kNoDeadline;
    const std::function<bool()>* done = nullptr;
    bool alive = true;
};

}  // namespace

struct DrivenClock::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t now = kStartMs;
    uint64_t generation = 0;
    std::vector<std::shared_ptr<Record>> records;
    // Bytes sent that will never be read: lost before this clock was made
    // (an earlier test's connection) or taken as lost after a stall.
    uint64_t trafficLost = 0;
    platform::TcpTraffic lastTraffic;
    steady_clock::time_point trafficSince = steady_clock::now();
};

namespace {

// A thread's record with the clock it last waited on; the record dies with
// the thread, so a thread that has ended never holds time back. It lives on
// the heap behind a thread key whose destructor runs at the thread's end: a
// thread_local object with a destructor corrupts the heap at thread exit
// under mingw-w64's threads.
struct Registration {
    std::shared_ptr<DrivenClock::Shared> shared;
    std::shared_ptr<Record> record;

    void Drop()
    {
        if (!shared) return;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            record->alive = false;
            ++shared->generation;
        }
        shared->changed.notify_all();
        shared.reset();
        record.reset();
    }
};

pthread_key_t RegistrationKey()
{
    static const pthread_key_t key = [] {
        pthread_key_t made{};
        pthread_key_create(&made, [](void* value) {
            auto* ended = static_cast<Registration*>(value);
            ended->Drop();
            delete ended;
        });
        return made;
    }();
    return key;
}

Registration& ThisThread()
{
    auto* existing = static_cast<Registration*>(pthread_getspecific(RegistrationKey()));
    if (existing != nullptr) return *existing;
    auto* made = new Registration;
    pthread_setspecific(RegistrationKey(), made);
    return *made;
}

// The calling thread's record; the caller holds shared->mutex.
Record& Self(const std::shared_ptr<DrivenClock::Shared>& shared)
{
    Registration& registration = ThisThread();
    if (registration.shared != shared) {
        if (registration.shared) {
            // A clock of an earlier test: leave it without taking its lock
            // under ours (its records are no longer looked at).
            registration.record->alive = false;
            registration.shared.reset();
        }
        registration.shared = shared;
        registration.record = std::make_shared<Record>();
        shared->records.push_back(registration.record);
    }
    return *registration.record;
}

void SetState(DrivenClock::Shared& shared, Record& record, State state, uint64_t deadline = platform::kNoDeadline,
              const std::function<bool()>* done = nullptr)
{
    // A thread that wakes and waits again as before changes nothing: telling
    // the others would wake every waiting thread to tell it again in turn.
    if (record.state == state && record.deadline == deadline && record.done == done) return;
    record.state = state;
    record.deadline = deadline;
    record.done = done;
    ++shared.generation;
    shared.changed.notify_all();
}

}  // namespace

DrivenClock::DrivenClock() : shared_(std::make_shared<Shared>())
{
    const platform::TcpTraffic traffic = platform::TcpTrafficTotals();
    shared_->trafficLost = traffic.sent - traffic.received;
    platform::UseClock(this);
}

DrivenClock::~DrivenClock()
{
    Hold();
    platform::UseClock(nullptr);
}

uint64_t DrivenClock::NowMs()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->now;
}

bool DrivenClock::WaitUntil(uint64_t deadlineMs, const std::function<bool()>& done)
{
    std::unique_lock<std::mutex> lock(shared_->mutex);
    Record& self = Self(shared_);
    for (;;) {
        if (done && done()) break;
        if (shared_->now >= deadlineMs) break;
        SetState(*shared_, self, State::kWaiting, deadlineMs, done ? &done : nullptr);
        shared_->changed.wait(lock);
    }
    SetState(*shared_, self, State::kRunning);
    return done && done();
}

void DrivenClock::Notify()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->changed.notify_all();
}

bool DrivenClock::WaitOutside(uint64_t deadlineMs, uint64_t pollUs, const OutsidePoll& poll)
{
    std::unique_lock<std::mutex> lock(shared_->mutex);
    Record& self = Self(shared_);
    bool ready = false;
    for (;;) {
        if (deadlineMs != platform::kNoDeadline && shared_->now >= deadlineMs) {
            // A limit that has passed still looks once, as a zero time-out does.
            lock.unlock();
            ready = poll(0);
            lock.lock();
            break;
        }
        SetState(*shared_, self, State::kOutside, deadlineMs);
        lock.unlock();
        ready = poll(deadlineMs == platform::kNoDeadline ? pollUs : kOutsideSliceUs);
        lock.lock();
        if (ready || deadlineMs == platform::kNoDeadline) break;
    }
    SetState(*shared_, self, State::kRunning);
    return ready;
}

void DrivenClock::AddSettledCondition(std::function<bool()> condition)
{
    std::lock_guard<std::mutex> lock(conditionsMutex_);
    conditions_.push_back(std::move(condition));
}

void DrivenClock::Enroll()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    // A new record runs from the start; a driver that looked before must look again.
    SetState(*shared_, Self(shared_), State::kRunning);
    ++shared_->generation;
}

bool DrivenClock::ThreadsWaiting(std::unique_lock<std::mutex>&, uint64_t& earliest)
{
    earliest = platform::kNoDeadline;
    auto& records = shared_->records;
    records.erase(std::remove_if(records.begin(), records.end(), [](const std::shared_ptr<Record>& record) { return !record->alive; }),
                  records.end());
    for (const std::shared_ptr<Record>& record : records) {
        if (record->state == State::kRunning) return false;
        if (record->deadline <= shared_->now) return false;
        if (record->state == State::kWaiting && record->done != nullptr && (*record->done)()) return false;
        earliest = std::min(earliest, record->deadline);
    }
    return true;
}

bool DrivenClock::OutsideSettled()
{
    {
        std::lock_guard<std::mutex> lock(conditionsMutex_);
        for (const auto& condition : conditions_) {
            if (!condition()) return false;
        }
    }
    const platform::TcpTraffic traffic = platform::TcpTrafficTotals();
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (traffic.sent - traffic.received == shared_->trafficLost) return true;
    if (traffic.sent != shared_->lastTraffic.sent || traffic.received != shared_->lastTraffic.received) {
        shared_->lastTraffic = traffic;
        shared_->trafficSince = steady_clock::now();
        return false;
    }
    if (steady_clock::now() - shared_->trafficSince < kTrafficStall) return false;
    ++forcedSettles_;
    shared_->trafficLost = traffic.sent - traffic.received;
    shared_->trafficSince = steady_clock::now();
    return true;
}

bool DrivenClock::SettleAndMove(uint64_t target, bool moveWithoutDeadline)
{
    // The thread that moves time is not part of the system it waits for,
    // even when it has called into it before.
    Registration& registration = ThisThread();
    if (registration.shared == shared_) registration.Drop();
    const bool driver = std::this_thread::get_id() == driverId_.load();
    const auto giveUp = steady_clock::now() + kSettleLimit;
    std::unique_lock<std::mutex> lock(shared_->mutex);
    for (;;) {
        if (driver && !freeRun_) return false;
        uint64_t earliest = platform::kNoDeadline;
        if (ThreadsWaiting(lock, earliest)) {
            const uint64_t generation = shared_->generation;
            lock.unlock();
            const bool outside = OutsideSettled();
            lock.lock();
            if (outside && generation == shared_->generation && ThreadsWaiting(lock, earliest)) {
                if (target == shared_->now) return true;
                if (earliest == platform::kNoDeadline && !moveWithoutDeadline) return false;
                shared_->now = std::min(earliest, target);
                ++shared_->generation;
                shared_->changed.notify_all();
                return true;
            }
        }
        if (steady_clock::now() > giveUp) return false;
        shared_->changed.wait_for(lock, kRecheck);
    }
}

bool DrivenClock::Settle() { return SettleAndMove(NowMs(), false); }

bool DrivenClock::Step(uint64_t limitMs)
{
    const uint64_t now = NowMs();
    const uint64_t target = limitMs == platform::kNoDeadline ? platform::kNoDeadline : now + limitMs;
    if (!SettleAndMove(target, false)) return false;
    return NowMs() != now && Settle();
}

bool DrivenClock::Advance(uint64_t ms)
{
    const uint64_t target = NowMs() + ms;
    while (NowMs() < target) {
        if (!SettleAndMove(target, true)) return false;
    }
    return Settle();
}

bool DrivenClock::RunUntil(const std::function<bool()>& condition, uint64_t limitMs)
{
    const uint64_t target = NowMs() + limitMs;
    auto idleSince = steady_clock::now();
    for (;;) {
        if (!Settle()) return condition();
        if (condition()) return true;
        if (NowMs() >= target) return false;
        if (SettleAndMove(target, false)) {
            idleSince = steady_clock::now();
            continue;
        }
        // No thread waits with a deadline: one that was just started may
        // not have reached its first wait yet, so time is not moved to the
        // limit at once; only after a while with nothing to wait for.
        if (steady_clock::now() - idleSince > kNothingWaits) {
            if (!SettleAndMove(target, true)) return condition();
            continue;
        }
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->changed.wait_for(lock, kRecheck);
    }
}

void DrivenClock::RunFreely()
{
    if (freeRun_.exchange(true)) return;
    driver_ = std::thread([this] {
        driverId_ = std::this_thread::get_id();
        while (freeRun_) {
            const uint64_t before = NowMs();
            SettleAndMove(platform::kNoDeadline, false);
            if (NowMs() == before) {
                std::unique_lock<std::mutex> lock(shared_->mutex);
                shared_->changed.wait_for(lock, kRecheck);
            }
        }
    });
}

void DrivenClock::Hold()
{
    if (!freeRun_.exchange(false)) return;
    Notify();
    driver_.join();
}

}  // namespace testing_support
