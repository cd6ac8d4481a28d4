#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_socket.h"
#include "loopback_pair.h"
#include "../support/poll_until.h"

namespace {

// Another thread ends the session while a receive polls it, as the
// server's receive thread does: Close waits for the receive to leave the
// descriptor, the receive sees the end, and the socket is unusable
// afterwards.
TEST(TcpSocket, CloseFromAnotherThreadEndsAPollingReceive)
{
    for (int round = 0; round < 20; ++round) {
        LoopbackPair pair;
        ASSERT_TRUE(pair.Connect());
        platform::ReceiveStatus status = platform::ReceiveStatus::kTimeout;
        std::atomic<int> receives{0};
        std::thread receiver([&pair, &status, &receives, round] {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            char buffer[16];
            size_t received = 0;
            while (status == platform::ReceiveStatus::kTimeout && std::chrono::steady_clock::now() < limit) {
                status = pair.server.Receive(buffer, sizeof buffer, received, round % 2 == 0 ? 0 : 20);
                ++receives;
            }
        });
        // The receiver polls in its loop by now (or has ended it: a failure).
        EXPECT_TRUE(testing_support::PollUntil([&] { return receives.load() > 0; }));
        pair.server.Shutdown();
        pair.server.Close();
        receiver.join();
        EXPECT_NE(status, platform::ReceiveStatus::kData);
        EXPECT_NE(status, platform::ReceiveStatus::kTimeout);
        EXPECT_FALSE(pair.server.IsOpen());
        char buffer[4];
        size_t received = 0;
        EXPECT_EQ(pair.server.Receive(buffer, sizeof buffer, received, 0), platform::ReceiveStatus::kError);
        EXPECT_FALSE(pair.server.Send("x", 1));
    }
}

#ifndef _WIN32
// A send that fills the peer's buffers blocks; Shutdown from another
// thread ends it with a failure and Close then completes. (Under Wine
// neither shutdown nor closesocket ends a blocked send, so this runs on
// Linux only.)
TEST(TcpSocket, CloseFromAnotherThreadEndsABlockedSend)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Connect());
    constexpr size_t kBlock = 64 * 1024 * 1024;  // far more than the socket buffers hold
    const platform::TcpTraffic before = platform::TcpTrafficTotals();
    bool sent = true;
    std::thread sender([&pair, &sent] {
        const std::vector<char> block(kBlock, 'x');
        sent = pair.client.Send(block.data(), block.size());
    });
    // The send is under way (counted, and its first bytes have arrived), and
    // cannot finish before the other end reads.
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    EXPECT_TRUE(testing_support::PollUntil([&] {
        return platform::TcpTrafficTotals().sent - before.sent >= kBlock &&
               platform::WaitForSockets({pair.server.Handle()}, {}, 1000, readable, writable) == 1;
    }));
    pair.client.Shutdown();
    pair.client.Close();
    sender.join();
    EXPECT_FALSE(sent);
    EXPECT_FALSE(pair.client.IsOpen());

    // What the send handed over still arrives, then the end; the bytes it
    // did not hand over are not counted as sent, so none is left under way
    // (a driven test clock waits for that).
    std::vector<char> buffer(1 << 20);
    platform::ReceiveStatus status = platform::ReceiveStatus::kData;
    uint64_t arrived = 0;
    for (int i = 0; i < 100000 && status == platform::ReceiveStatus::kData; ++i) {
        size_t received = 0;
        status = pair.server.Receive(buffer.data(), buffer.size(), received, 5000);
        if (status == platform::ReceiveStatus::kData) arrived += received;
    }
    EXPECT_EQ(status, platform::ReceiveStatus::kClosed);
    const platform::TcpTraffic after = platform::TcpTrafficTotals();
    EXPECT_GT(arrived, 0u);
    EXPECT_LT(arrived, kBlock);
    EXPECT_EQ(after.sent - before.sent, arrived);
    EXPECT_EQ(after.received - before.received, arrived);
}
#endif

// Data sent before the end still arrives whole, then the end is seen.
TEST(TcpSocket, ReceiveSeesTheDataThenTheEnd)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Connect());
    ASSERT_TRUE(pair.client.Send("hello", 5));
    pair.client.Shutdown();
    std::string got;
    platform::ReceiveStatus status = platform::ReceiveStatus::kData;
    for (int i = 0; i < 10 && status == platform::ReceiveStatus::kData; ++i) {
        char buffer[8];
        size_t received = 0;
        status = pair.server.Receive(buffer, sizeof buffer, received, 5000);
        if (status == platform::ReceiveStatus::kData) got.append(buffer, received);
    }
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(status, platform::ReceiveStatus::kClosed);
}

}  // namespace
