#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "../support/driven_clock.h"
#include "../support/poll_until.h"
#include "driven_link_clock.h"
#include "fake_device.h"
#include "link/diag_frame.h"
#include "link/net_packet.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "../support/test_env.h"

namespace {

using devlink::CNetPacket;

// The device answers CMD_IP_MAC itself and every CMD_DATA with the bytes
// the test's `reply` makes from the request's frame. Everything runs on a
// clock the test drives (see net_serial_test.cpp): every wait of the
// exchange lasts exactly its length of clock time.
class Packet : public ::testing::Test {
protected:
    Packet()
    {
        clock.AddSettledCondition([this] { return !server || !server->SendPending(0); });
    }

    void SetUp() override
    {
        temp = testing_support::UsePrivateTempFolder("packet");
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = 9;
        settings.hostFilter = "no-announcement";
        server = std::make_unique<devlink::CSockProducer>(settings);
        ASSERT_EQ(link_testing::RunOnClock(clock, [&] { return server->InitInstance(); }), std::optional<int>(0));
        packet = std::make_unique<CNetPacket>(*server);
        device = std::make_unique<FakeDevice>(server->ListenPort(), [this](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
            if (seen.type == devlink::kCmdIpMac) return DeviceBlock(seen.type, seen.seq);
            if (seen.type != devlink::kCmdData) return std::nullopt;
            ++dataBlocks;
            const std::vector<uint8_t> bytes = reply();
            if (bytes.empty()) return std::nullopt;
            return DeviceBlock(devlink::kCmdData, seen.seq, bytes, static_cast<uint32_t>(bytes.size()));
        });
        ASSERT_TRUE(testing_support::PollUntil([&] { return server->AcceptedCount() == 1; }));
        ASSERT_EQ(link_testing::RunOnClock(clock, [&] { return packet->InitPort(0); }), std::optional<int>(1));
    }
    void TearDown() override
    {
        EXPECT_EQ(clock.ForcedSettles(), 0);
        device.reset();
        packet.reset();
        server.reset();
    }

    // ReadEsn while time runs, with the clock time it took.
    int ReadEsn(uint32_t& esn, uint64_t* tookMs = nullptr)
    {
        const std::optional<int> result = link_testing::RunOnClock(clock, [&] {
            const uint64_t start = platform::MonotonicMs();
            const int read = packet->ReadEsn(esn);
            if (tookMs != nullptr) *tookMs = platform::MonotonicMs() - start;
            return read;
        });
        EXPECT_TRUE(result.has_value()) << "ReadEsn did not return within an hour of clock time";
        return result.value_or(-1);
    }

    static std::vector<uint8_t> EsnFrame(uint32_t esn)
    {
        const std::vector<uint8_t> body{0x01, static_cast<uint8_t>(esn), static_cast<uint8_t>(esn >> 8), static_cast<uint8_t>(esn >> 16),
                                        static_cast<uint8_t>(esn >> 24)};
        return devlink::BuildFrame(body);
    }

    // Declared first: it outlives every thread that waits on it.
    testing_support::DrivenClock clock;
    link_testing::PassedDeadlinePoll passedDeadlinePoll{clock};
    std::u16string temp;
    std::unique_ptr<devlink::CSockProducer> server;
    std::unique_ptr<CNetPacket> packet;
    std::unique_ptr<FakeDevice> device;
    // Set before a read only: the device thread calls it during one.
    std::function<std::vector<uint8_t>()> reply = [] { return EsnFrame(0x7E7D1234); };
    std::atomic<int> dataBlocks{0};
};

TEST_F(Packet, ReadsTheEsnThroughAFramedExchange)
{
    uint32_t esn = 0;
    ASSERT_EQ(ReadEsn(esn), 1);
    EXPECT_EQ(esn, 0x7E7D1234u);
    EXPECT_EQ(dataBlocks, 1);
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    const std::vector<uint8_t> expected = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), seen[1].bytes.begin() + 9));
    EXPECT_EQ(seen[1].bytes[1359], expected.size());
}

TEST_F(Packet, DiagErrorReplyFailsEveryAttemptWithItsText)
{
    reply = [] { return devlink::BuildFrame(std::vector<uint8_t>{0x13, 0x01}); };
    uint32_t esn = 0;
    EXPECT_EQ(ReadEsn(esn), 0);
    EXPECT_EQ(esn, 0xFFFFFFFFu);
    EXPECT_EQ(packet->ErrorText(), u"Cannot Get the ESN Number of the Phone, Since Bad command");
    EXPECT_EQ(dataBlocks, 10);
}

TEST_F(Packet, ReplyWithoutEndFlagIsRefused)
{
    reply = [] {
        std::vector<uint8_t> frame = EsnFrame(5);
        frame.pop_back();
        return frame;
    };
    uint32_t esn = 0;
    EXPECT_EQ(ReadEsn(esn), 0);
    EXPECT_EQ(packet->ErrorText(), u"Cannot Get the ESN Number of the Phone, Since the Received Data is Wrong without End Flag(0x7e)");
}

TEST_F(Packet, DoubledClosingFlagIsAccepted)
{
    reply = [] {
        std::vector<uint8_t> frame = EsnFrame(77);
        frame.push_back(0x7E);
        return frame;
    };
    uint32_t esn = 0;
    ASSERT_EQ(ReadEsn(esn), 1);
    EXPECT_EQ(esn, 77u);
}

TEST_F(Packet, ShortEsnReplyAndOversizedReplyAreRefused)
{
    reply = [] { return devlink::BuildFrame(std::vector<uint8_t>{0x01, 0x02}); };
    uint32_t esn = 0;
    EXPECT_EQ(ReadEsn(esn), 0);
    reply = [] {
        std::vector<uint8_t> big(1100, 0x01);
        big.push_back(0x7E);
        return big;
    };
    EXPECT_EQ(ReadEsn(esn), 0);
    EXPECT_EQ(packet->ErrorText(), u"Cannot Get the ESN Number of the Phone, Since The Received Data from the Phone is Too Large");
}

// Each attempt waits its 500 ms, pauses 10 s and waits 3 s more: exactly
// that long in clock time, polls included (3 ms and 10 ms apart).
TEST_F(Packet, SilentDeviceCostsEveryAttemptItsFullWaitAndFails)
{
    reply = [] { return std::vector<uint8_t>{}; };
    uint32_t esn = 0;
    uint64_t elapsed = 0;
    EXPECT_EQ(ReadEsn(esn, &elapsed), 0);
    EXPECT_EQ(dataBlocks, 10);
    EXPECT_GE(elapsed, 10u * (500 + 10000 + 3000));
    EXPECT_LE(elapsed, 10u * (500 + 3 + 10000 + 3000 + 10));
    EXPECT_EQ(esn, 0xFFFFFFFFu);
    EXPECT_EQ(packet->ErrorText(), u"Cannot Get the ESN Number of the Phone, Since Port Cannot Receive Desired Data from the Phone");
}

TEST_F(Packet, PortLogHoldsItsMarkerBytes)
{
    const std::u16string path = temp + u"port.txt";
    ASSERT_EQ(packet->WritePortLog(path), 1);
    EXPECT_EQ(platform::ReadWholeFile(path), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(packet->WritePortLog(temp + u"missing" + std::u16string(1, platform::kPathSeparator) + u"x.txt"), 0);
}

}  // namespace
