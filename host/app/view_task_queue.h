// Tasks that worker threads hand to a view's thread and wait for, as
// SendMessage does for a window. Once closed, new and pending tasks are
// dropped and their senders return at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace app {

class ViewTaskQueue {
public:
    // The calling thread becomes the view's thread.
    void BindToCurrentThread();
    // Runs `task` on the view's thread and waits; false when it was dropped.
    bool Run(const std::function<void()>& task);
    // On the view's thread: runs every queued task.
    void RunPending();
    // On the view's thread: waits up to `limit` for a task or a Wake().
    void WaitForWork(std::chrono::milliseconds limit);
    void Wake();
    void Close();
    bool Closed();

private:
    struct Task {
        const std::function<void()>* run = nullptr;
        bool done = false;
        bool dropped = false;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task*> tasks_;
    std::thread::id viewThread_;
    bool closed_ = false;
    bool woken_ = false;
};

}  // namespace app
