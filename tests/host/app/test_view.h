// A main view for tests: its own view thread runs the tasks of the workers
// and the events the test injects, and it records what the window shows.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/main_view.h"
#include "app/view_task_queue.h"

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
    bool informationIcon = false;
};

class TestView : public app::MainView {
public:
    TestView();
    ~TestView() override;

    // Runs `event` on the view thread and waits for it.
    void Call(const std::function<void()>& event);
    // Waits (bounded, real time) until `condition` holds.
    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Ends the view thread; later RunOnViewThread calls return false.
    void Shutdown();

    std::u16string Text(int id);
    bool Enabled(int id);
    std::vector<ShownMessage> Messages();
    std::atomic<int> closeRequests{0};
    std::atomic<bool> welcomeAccepted{true};
    std::atomic<int> welcomeShown{0};
    std::atomic<int> progressLow{-1};
    std::atomic<int> progressHigh{-1};
    std::atomic<int> progressPosition{-1};
    std::atomic<bool> closeMenuEnabled{true};
    std::atomic<int> timerStarts{0};
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

    app::ViewTaskQueue tasks_;
    std::mutex mutex_;
    std::map<int, std::u16string> texts_;
    std::map<int, bool> enabled_;
    std::vector<ShownMessage> messages_;
    std::thread thread_;
};
