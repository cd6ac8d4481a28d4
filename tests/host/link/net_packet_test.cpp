#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "fake_device.h"
#include "link/diag_frame.h"
#include "link/net_packet.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "../support/test_env.h"

namespace {

using devlink::CNetPacket;

// The device answers CMD_IP_MAC itself and every CMD_DATA with the bytes
// the test's `reply` makes from the request's frame.
class Packet : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetTimeScale(10.0);
        temp = testing_support::UsePrivateTempFolder("packet");
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = 9;
        settings.hostFilter = "no-announcement";
        server = std::make_unique<devlink::CSockProducer>(settings);
        ASSERT_EQ(server->InitInstance(), 0);
        packet = std::make_unique<CNetPacket>(*server);
        device = std::make_unique<FakeDevice>(server->ListenPort(), [this](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
            if (seen.type == devlink::kCmdIpMac) return DeviceBlock(seen.type, seen.seq);
            if (seen.type != devlink::kCmdData) return std::nullopt;
            ++dataBlocks;
            const std::vector<uint8_t> bytes = reply();
            if (bytes.empty()) return std::nullopt;
            return DeviceBlock(devlink::kCmdData, seen.seq, bytes, static_cast<uint32_t>(bytes.size()));
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (server->AcceptedCount() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(packet->InitPort(0), 1);
        platform::SetTimeScale(200.0);
    }
    void TearDown() override
    {
        device.reset();
        packet.reset();
        server.reset();
        platform::SetTimeScale(1.0);
    }

    static std::vector<uint8_t> EsnFrame(uint32_t esn)
    {
        const std::vector<uint8_t> body{0x01, static_cast<uint8_t>(esn), static_cast<uint8_t>(esn >> 8), static_cast<uint8_t>(esn >> 16),
                                        static_cast<uint8_t>(esn >> 24)};
        return devlink::BuildFrame(body);
    }

    std::u16string temp;
    std::unique_ptr<devlink::CSockProducer> server;
    std::unique_ptr<CNetPacket> packet;
    std::unique_ptr<FakeDevice> device;
    std::function<std::vector<uint8_t>()> reply = [] { return EsnFrame(0x7E7D1234); };
    std::atomic<int> dataBlocks{0};
};

TEST_F(Packet, ReadsTheEsnThroughAFramedExchange)
{
    uint32_t esn = 0;
    ASSERT_EQ(packet->ReadEsn(esn), 1);
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
    EXPECT_EQ(packet->ReadEsn(esn), 0);
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
    EXPECT_EQ(packet->ReadEsn(esn), 0);
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
    ASSERT_EQ(packet->ReadEsn(esn), 1);
    EXPECT_EQ(esn, 77u);
}

TEST_F(Packet, ShortEsnReplyAndOversizedReplyAreRefused)
{
    reply = [] { return devlink::BuildFrame(std::vector<uint8_t>{0x01, 0x02}); };
    uint32_t esn = 0;
    EXPECT_EQ(packet->ReadEsn(esn), 0);
    reply = [] {
        std::vector<uint8_t> big(1100, 0x01);
        big.push_back(0x7E);
        return big;
    };
    EXPECT_EQ(packet->ReadEsn(esn), 0);
    EXPECT_EQ(packet->ErrorText(), u"Cannot Get the ESN Number of the Phone, Since The Received Data from the Phone is Too Large");
}

TEST_F(Packet, SilentDeviceCostsEveryAttemptItsFullWaitAndFails)
{
    reply = [] { return std::vector<uint8_t>{}; };
    uint32_t esn = 0;
    const uint64_t start = platform::MonotonicMs();
    EXPECT_EQ(packet->ReadEsn(esn), 0);
    const uint64_t elapsed = platform::MonotonicMs() - start;
    EXPECT_EQ(dataBlocks, 10);
    EXPECT_GE(elapsed, 10u * (500 + 10000 + 3000));
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
