// The console's transfer figures on a clock the test drives: the rate over
// the recent window, the time left at that rate, and nothing outside a
// transfer.
#include <gtest/gtest.h>

#include "../support/driven_clock.h"
#include "app/console/transfer_rate.h"

namespace {

constexpr uint32_t kMb = 1000000;

class TransferRateTest : public ::testing::Test {
protected:
    // Moves the clock by `ms`, then reports `sent` of `size`.
    void At(uint64_t ms, uint32_t sent, uint32_t size)
    {
        ASSERT_TRUE(clock_.Advance(ms));
        rate_.Add(platform::TransferBytes{sent, size});
    }

    testing_support::DrivenClock clock_;
    app::TransferRate rate_;
};

TEST_F(TransferRateTest, ShowsTheRateAndTheTimeLeftAtIt)
{
    rate_.Add(platform::TransferBytes{0, 10 * kMb});
    At(1000, 2 * kMb, 10 * kMb);
    EXPECT_EQ(rate_.Text(), " | 2.0 MB/s, 0:04 left");
    At(1000, 3 * kMb + kMb / 5, 10 * kMb);
    // 3.2 MB in 2 s: 1.6 MB/s; 6.8 MB left take 4.25 s, shown as 5 s.
    EXPECT_EQ(rate_.Text(), " | 1.6 MB/s, 0:05 left");
}

TEST_F(TransferRateTest, TheRateIsTheRecentWindowsNotTheWholeTransfers)
{
    const uint32_t size = 100 * kMb;
    rate_.Add(platform::TransferBytes{0, size});
    uint32_t sent = 0;
    // Two seconds at 4 MB/s, then four at 1 MB/s, reported every 500 ms.
    for (int i = 0; i < 4; ++i) At(500, sent += 2 * kMb, size);
    for (int i = 0; i < 8; ++i) At(500, sent += kMb / 2, size);
    ASSERT_EQ(sent, 12 * kMb);
    EXPECT_EQ(rate_.Text(), " | 1.0 MB/s, 1:28 left");
}

TEST_F(TransferRateTest, NothingBeforeTheReportsSpanHalfASecondNorAfterTheEnd)
{
    EXPECT_EQ(rate_.Text(), "");
    rate_.Add(platform::TransferBytes{0, 10 * kMb});
    At(app::kRateMinSpanMs - 1, kMb, 10 * kMb);
    EXPECT_EQ(rate_.Text(), "");
    At(1, kMb, 10 * kMb);
    EXPECT_EQ(rate_.Text(), " | 2.0 MB/s, 0:05 left");
    At(100, 0, 0);
    EXPECT_EQ(rate_.Text(), "");
}

TEST_F(TransferRateTest, AnotherFileStartsOver)
{
    rate_.Add(platform::TransferBytes{0, 10 * kMb});
    At(1000, 8 * kMb, 10 * kMb);
    ASSERT_EQ(rate_.Text(), " | 8.0 MB/s, 0:01 left");
    // The next file, without an end report between: its own size.
    At(100, 0, 5 * kMb);
    EXPECT_EQ(rate_.Text(), "");
    At(1000, kMb, 5 * kMb);
    EXPECT_EQ(rate_.Text(), " | 1.0 MB/s, 0:04 left");
}

TEST_F(TransferRateTest, AStalledTransferShowsNoTimeLeftAndLongOnesShowHours)
{
    rate_.Add(platform::TransferBytes{0, 100 * kMb});
    At(1000, 0, 100 * kMb);
    EXPECT_EQ(rate_.Text(), " | 0.0 MB/s");
    At(2000, 30000, 100 * kMb);
    // 30 kB in 3 s; 99.97 MB left take 9997 s.
    EXPECT_EQ(rate_.Text(), " | 0.0 MB/s, 2:46:37 left");
}

}  // namespace
