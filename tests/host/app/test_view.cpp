#include "test_view.h"

#include "platform/clock.h"
#include "../support/poll_until.h"

namespace {

// On the view's thread, while it runs a task: the thread that handed it over.
thread_local const std::thread::id* taskSender = nullptr;

}  // namespace

TestView::TestView() : thread_([this] { Loop(); }) { viewThread_ = thread_.get_id(); }

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

bool TestView::RunOnViewThread(const std::function<void()>& task)
{
    const std::thread::id sender = std::this_thread::get_id();
    return tasks_.Run([&] {
        const std::thread::id* outer = taskSender;
        taskSender = &sender;
        task();
        taskSender = outer;
    });
}

void TestView::Call(const std::function<void()>& event) { RunOnViewThread(event); }

bool TestView::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    return testing_support::PollUntil(condition, limit);
}

void TestView::Record(std::string what, int controlId, std::u16string text, int value)
{
    if (!keepWrites) return;
    ViewWrite write;
    write.seq = NextEventSeq();
    write.clockMs = platform::MonotonicMs();
    write.onViewThread = std::this_thread::get_id() == viewThread_;
    write.sender = write.onViewThread && taskSender != nullptr ? *taskSender : std::this_thread::get_id();
    write.what = std::move(what);
    write.controlId = controlId;
    write.text = std::move(text);
    write.value = value;
    // The caller holds mutex_.
    writes_.push_back(std::move(write));
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

std::vector<ViewWrite> TestView::Writes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

void TestView::SetControlText(int controlId, const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[controlId] = text;
    Record("text", controlId, text, 0);
}

void TestView::EnableControl(int controlId, bool enable)
{
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_[controlId] = enable;
    Record("enable", controlId, {}, enable ? 1 : 0);
}

void TestView::SetProgressRange(int low, int high)
{
    std::lock_guard<std::mutex> lock(mutex_);
    progressLow = low;
    progressHigh = high;
    Record("progress range", 0, {}, high);
}

void TestView::SetProgressPosition(int position)
{
    std::lock_guard<std::mutex> lock(mutex_);
    progressPosition = position;
    Record("progress", 0, {}, position);
}

void TestView::ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon)
{
    const ShownMessage message{text, caption, informationIcon};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
        Record("message", 0, text, informationIcon ? 1 : 0);
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
    Record("timer", timerId, {}, static_cast<int>(periodMs));
}

void TestView::KillTimer(int timerId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timers.erase(timerId);
    Record("kill timer", timerId, {}, 0);
}

void TestView::EnableCloseMenu(bool enable)
{
    std::lock_guard<std::mutex> lock(mutex_);
    closeMenuEnabled = enable;
    Record("close menu", 0, {}, enable ? 1 : 0);
}

void TestView::PostClose()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Record("close", 0, {}, 0);
    ++closeRequests;
}
