#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "app/view_task_queue.h"

namespace {

TEST(ViewTaskQueue, WorkerTasksRunOnTheViewThreadInOrder)
{
    app::ViewTaskQueue queue;
    std::promise<std::thread::id> viewId;
    std::atomic<bool> stop{false};
    std::thread view([&] {
        queue.BindToCurrentThread();
        viewId.set_value(std::this_thread::get_id());
        while (!stop) {
            queue.RunPending();
            queue.WaitForWork(std::chrono::milliseconds(10));
        }
    });
    const std::thread::id expected = viewId.get_future().get();
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(queue.Run([&, i] {
            EXPECT_EQ(std::this_thread::get_id(), expected);
            order.push_back(i);
        }));
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    stop = true;
    queue.Wake();
    view.join();
}

TEST(ViewTaskQueue, ClosingReleasesAWaitingSenderWithoutRunningItsTask)
{
    app::ViewTaskQueue queue;
    std::promise<void> bound;
    std::promise<void> queued;
    std::promise<void> finish;
    std::thread view([&] {  // a view that never runs its queue's tasks
        queue.BindToCurrentThread();
        bound.set_value();
        // Returns once the sender's task is in the queue.
        queue.WaitForWork(std::chrono::seconds(30));
        queued.set_value();
        finish.get_future().wait();
    });
    bound.get_future().wait();
    std::atomic<bool> ran{false};
    auto sender = std::async(std::launch::async, [&] { return queue.Run([&] { ran = true; }); });
    EXPECT_EQ(queued.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // Its task is queued and nobody runs it: the sender still waits.
    EXPECT_EQ(sender.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    EXPECT_FALSE(ran);
    queue.Close();
    ASSERT_EQ(sender.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(sender.get());
    EXPECT_FALSE(ran);
    EXPECT_FALSE(queue.Run([&] { ran = true; }));
    EXPECT_FALSE(ran);
    finish.set_value();
    view.join();
}

}  // namespace
