#include "app/view_task_queue.h"

namespace app {

void ViewTaskQueue::BindToCurrentThread()
{
    std::lock_guard<std::mutex> lock(mutex_);
    viewThread_ = std::this_thread::get_id();
}

bool ViewTaskQueue::Run(const std::function<void()>& task)
{
    Task pending;
    pending.run = &task;
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return false;
    if (std::this_thread::get_id() == viewThread_) {
        lock.unlock();
        task();
        return true;
    }
    tasks_.push_back(&pending);
    changed_.notify_all();
    changed_.wait(lock, [&pending] { return pending.done || pending.dropped; });
    return pending.done;
}

void ViewTaskQueue::RunPending()
{
    for (;;) {
        Task* task = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (tasks_.empty()) return;
            task = tasks_.front();
            tasks_.pop_front();
        }
        (*task->run)();
        std::lock_guard<std::mutex> lock(mutex_);
        task->done = true;
        changed_.notify_all();
    }
}

void ViewTaskQueue::WaitForWork(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return !tasks_.empty() || woken_ || closed_; });
    woken_ = false;
}

void ViewTaskQueue::Wake()
{
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    changed_.notify_all();
}

void ViewTaskQueue::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (Task* task : tasks_) task->dropped = true;
    tasks_.clear();
    changed_.notify_all();
}

bool ViewTaskQueue::Closed()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

}  // namespace app
