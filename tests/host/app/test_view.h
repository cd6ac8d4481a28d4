// A main view for tests: its own view thread runs the tasks of the workers
// and the events the test injects, and it records what the window shows,
// every write with the thread it came from (the worker whose task wrote it)
// and the clock time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/main_view.h"
#include "app/view_task_queue.h"

// One order over the fake router's calls and the view's writes: every
// recorded event takes the next number.
inline uint64_t NextEventSeq()
{
    static std::atomic<uint64_t> seq{0};
    return ++seq;
}

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
    bool informationIcon = false;
};

// A change of what the window shows.
struct ViewWrite {
    uint64_t seq = 0;
    uint64_t clockMs = 0;
    // The thread that handed the view the task that wrote (or that wrote
    // directly, off the view's thread).
    std::thread::id sender;
    bool onViewThread = false;
    std::string what;  // "text", "enable", "progress range", "progress", "message", "timer", "kill timer", "close menu", "close"
    int controlId = 0;
    std::u16string text;
    int value = 0;
};

class TestView : public app::MainView {
public:
    TestView();
    ~TestView() override;

    // Runs `event` on the view thread and waits for it.
    void Call(const std::function<void()>& event);
    // Waits (bounded, real time) until `condition` holds: PollUntil.
    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Ends the view thread; later RunOnViewThread calls return false.
    void Shutdown();

    std::u16string Text(int id);
    bool Enabled(int id);
    std::vector<ShownMessage> Messages();
    std::vector<ViewWrite> Writes();
    std::thread::id ViewThreadId() const { return viewThread_; }
    std::atomic<int> closeRequests{0};
    std::atomic<bool> welcomeAccepted{true};
    std::atomic<int> welcomeShown{0};
    std::atomic<int> progressLow{-1};
    std::atomic<int> progressHigh{-1};
    std::atomic<int> progressPosition{-1};
    std::atomic<bool> closeMenuEnabled{true};
    std::atomic<int> timerStarts{0};
    // Off for long runs, whose memory is watched.
    std::atomic<bool> keepWrites{true};
    // Read through Call() only.
    std::map<int, uint32_t> timers;
    // Lets a test block the view on a message box until it is released.
    std::function<void(const ShownMessage&)> onMessage;

    void SetControlText(int controlId, const std::u16string& text) override;
    void EnableControl(int controlId, bool enable) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    void ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon) override;
    bool RunWelcomeDialog() override;
    void StartTimer(int timerId, uint32_t periodMs) override;
    void KillTimer(int timerId) override;
    void EnableCloseMenu(bool enable) override;
    void PostClose() override;
    bool RunOnViewThread(const std::function<void()>& task) override;

private:
    void Loop();
    void Record(std::string what, int controlId, std::u16string text, int value);

    app::ViewTaskQueue tasks_;
    std::mutex mutex_;
    std::map<int, std::u16string> texts_;
    std::map<int, bool> enabled_;
    std::vector<ShownMessage> messages_;
    std::vector<ViewWrite> writes_;
    std::thread::id viewThread_;
    std::thread thread_;
};
