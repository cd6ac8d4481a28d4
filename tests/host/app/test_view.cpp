#include "test_view.h"

TestView::TestView() : thread_([this] { Loop(); }) {}

TestView::~TestView() { Shutdown(); }

void TestView::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        closed_ = true;
        changed_.notify_all();
    }
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (Task* task : tasks_) task->dropped = true;
    tasks_.clear();
    changed_.notify_all();
}

void TestView::Loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closed_ || !tasks_.empty(); });
        if (closed_) return;
        Task* task = tasks_.front();
        tasks_.pop_front();
        lock.unlock();
        (*task->run)();
        lock.lock();
        task->done = true;
        changed_.notify_all();
    }
}

bool TestView::RunOnViewThread(const std::function<void()>& task)
{
    if (std::this_thread::get_id() == thread_.get_id()) {
        task();
        return true;
    }
    Task pending{&task};
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return false;
    tasks_.push_back(&pending);
    changed_.notify_all();
    changed_.wait(lock, [&pending] { return pending.done || pending.dropped; });
    return pending.done;
}

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
