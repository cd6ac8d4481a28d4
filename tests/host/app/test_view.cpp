#include "test_view.h"

TestView::TestView() : thread_([this] { Loop(); }) {}

TestView::~TestView() { Shutdown(); }

void TestView::Shutdown()
{
    tasks_.Close();
    if (thread_.joinable()) thread_.join();
}

void TestView::Loop()
{
    tasks_.BindToCurrentThread();
    while (!tasks_.Closed()) {
        tasks_.RunPending();
        tasks_.WaitForWork(std::chrono::milliseconds(50));
    }
}

bool TestView::RunOnViewThread(const std::function<void()>& task) { return tasks_.Run(task); }

void TestView::Call(const std::function<void()>& event) { RunOnViewThread(event); }

bool TestView::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::u16string TestView::Text(int id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_[id];
}

bool TestView::Enabled(int id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_[id];
}

std::vector<ShownMessage> TestView::Messages()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void TestView::SetControlText(int controlId, const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[controlId] = text;
}

void TestView::EnableControl(int controlId, bool enable)
{
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_[controlId] = enable;
}

void TestView::SetProgressRange(int low, int high)
{
    progressLow = low;
    progressHigh = high;
}

void TestView::SetProgressPosition(int position)
{
    progressPosition = position;
}

void TestView::ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon)
{
    const ShownMessage message{text, caption, informationIcon};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
    }
    if (onMessage) onMessage(message);
}

bool TestView::RunWelcomeDialog()
{
    ++welcomeShown;
    return welcomeAccepted;
}

void TestView::StartTimer(int timerId, uint32_t periodMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timers[timerId] = periodMs;
    ++timerStarts;
}

void TestView::KillTimer(int timerId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timers.erase(timerId);
}

void TestView::EnableCloseMenu(bool enable)
{
    closeMenuEnabled = enable;
}

void TestView::PostClose()
{
    ++closeRequests;
}
