#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "fake_device.h"
#include "link/net_serial.h"
#include "platform/clock.h"
#include "../support/test_env.h"

namespace {

using devlink::CNetSerial;
using devlink::CSockProducer;

bool Eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Answers every request with the same type and seq, CMD_QUERY_INFO with a
// version text; the test can replace the answer per type.
class Port : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The server's threads poll in real time, and the device answers
        // CMD_IP_MAC within the port's 100 ms: ten times faster keeps those
        // waits well above their pace. Tests that wait out a long limit
        // speed time up further once the port is open.
        platform::SetTimeScale(10.0);
        testing_support::UsePrivateTempFolder("port");
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = 9;
        settings.hostFilter = "no-announcement";
        server = std::make_unique<CSockProducer>(settings);
        ASSERT_EQ(server->InitInstance(), 0);
        port = std::make_unique<CNetSerial>(*server);
    }
    void TearDown() override
    {
        device.reset();
        port.reset();
        server.reset();
        platform::SetTimeScale(1.0);
    }

    std::optional<devlink::LinkBlock> Answer(const SeenBlock& seen)
    {
        if (override && (*override)(seen)) return (*override)(seen);
        if (seen.type == devlink::kCmdQueryInfo) {
            const std::string text = "EN_PELA_BR_KR710MV1.0.0B15";
            return DeviceBlock(seen.type, seen.seq, std::vector<uint8_t>(text.begin(), text.end() + 1), static_cast<uint32_t>(text.size() + 1));
        }
        if (seen.type == devlink::kCmdClose || seen.type == devlink::kCmdReboot || seen.type == devlink::kCmdData) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq);
    }

    void Connect()
    {
        device = std::make_unique<FakeDevice>(server->ListenPort(), [this](const SeenBlock& seen) { return Answer(seen); });
        ASSERT_TRUE(Eventually([&] { return server->AcceptedCount() == 1; }));
    }

    void Open()
    {
        Connect();
        ASSERT_EQ(port->InitPort(0), 1);
    }

    std::unique_ptr<CSockProducer> server;
    std::unique_ptr<CNetSerial> port;
    std::unique_ptr<FakeDevice> device;
    std::optional<std::function<std::optional<devlink::LinkBlock>(const SeenBlock&)>> override;
};

TEST_F(Port, OpeningWithoutAConnectionFailsAndLeavesTheSlotsAlone)
{
    EXPECT_EQ(port->InitPort(0), 0);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(server->SlotBound(0));
    EXPECT_EQ(port->InitPort(7), 0);
}

TEST_F(Port, OpensWithIpMacAndTheNextMessageCarriesSeq2)
{
    Open();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->InitPort(0), 1);
    EXPECT_TRUE(server->SlotBound(0));
    ASSERT_TRUE(Eventually([&] { return !device->Seen().empty(); }));
    EXPECT_EQ(device->Seen()[0].type, devlink::kCmdIpMac);
    std::u16string version;
    ASSERT_TRUE(port->QueryInfo(version));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].type, devlink::kCmdQueryInfo);
    EXPECT_EQ(seen[1].seq, 2u);
    EXPECT_TRUE(std::all_of(seen[1].bytes.begin() + 9, seen[1].bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(Port, QueryAfterTheRouterHungUpFailsAndClearsTheOpenFlag)
{
    Open();
    device.reset();
    ASSERT_TRUE(Eventually([&] { return server->SessionCount() == 0; }));
    std::u16string version = u"before";
    EXPECT_FALSE(port->QueryInfo(version));
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(Port, RepliesLeftByAnEarlierSessionAreNotTakenForTheNextRouter)
{
    Open();
    device->Send(DeviceBlock(devlink::kCmdIpMac, 2));
    ASSERT_TRUE(Eventually([&] { return server->QueueSize(0) == 1; }));
    ASSERT_EQ(port->ClosePort(), 1);
    Open();
    EXPECT_EQ(server->QueueSize(0), 0u);
    const uint8_t data[] = {1, 2, 3};
    ASSERT_EQ(port->WriteData(data, sizeof data), sizeof data);
    EXPECT_EQ(port->SeqCounter(), 2u);
    EXPECT_FALSE(port->ReplyReady());
}

TEST_F(Port, QueryTextWithoutAZeroByteStaysInsideTheBlock)
{
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdQueryInfo) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq, std::vector<uint8_t>(1350, 'A'), 0xFFFFFFFF);
    };
    Open();
    std::u16string version;
    ASSERT_TRUE(port->QueryInfo(version));
    EXPECT_EQ(version, std::u16string(1350, u'A'));
}

TEST_F(Port, ReplyWithAnotherSeqIsNeverTaken)
{
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdModemState) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq + 1);
    };
    Open();
    platform::SetTimeScale(200.0);
    EXPECT_FALSE(port->ModemState());
    EXPECT_EQ(server->QueueSize(0), 1u);
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(Port, RefusedModemStateFailsAndClosesThePort)
{
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdModemState) return std::nullopt;
        return DeviceBlock(devlink::kCmdClose, seen.seq);
    };
    Open();
    const int32_t sessions = server->SessionCount();
    EXPECT_FALSE(port->ModemState());
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->ErrorText(), u"KR710M can not switch to user mode.");
    EXPECT_EQ(server->SessionCount(), sessions - 1);
    EXPECT_FALSE(server->SlotBound(0));
}

TEST_F(Port, CommandsSucceedOnTheirOwnReplyType)
{
    Open();
    EXPECT_TRUE(port->ModemState());
    EXPECT_TRUE(port->ToUserMode());
    EXPECT_TRUE(port->ModemUpgrade());
    EXPECT_TRUE(port->CloseFactory());
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        return DeviceBlock(seen.type == devlink::kCmdToUserMode ? devlink::kCmdClose : 0x55, seen.seq);
    };
    platform::SetTimeScale(200.0);
    EXPECT_FALSE(port->CloseFactory());
    EXPECT_TRUE(port->IsOpen());
    EXPECT_FALSE(port->ToUserMode());
    EXPECT_EQ(port->ErrorText(), u"KR710M can not switch to user mode from factory mode.");
}

TEST_F(Port, DataAndRawWrites)
{
    Open();
    std::vector<uint8_t> bytes(1350);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(port->WriteData(bytes.data(), 2000), 1350u);
    ASSERT_TRUE(Eventually([&] { return device->Seen().size() == 2; }));
    const SeenBlock data = device->Seen()[1];
    EXPECT_EQ(data.type, devlink::kCmdData);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data.bytes.begin() + 9));
    EXPECT_EQ(data.bytes[1359] | (data.bytes[1360] << 8), 1350);

    ASSERT_TRUE(Eventually([&] { return port->SendDrained(); }));
    device->ExpectRawBytes(3000);
    std::vector<uint8_t> raw(3000, 0x42);
    EXPECT_EQ(port->RawWrite(raw.data(), raw.size()), 3000u);
    ASSERT_TRUE(Eventually([&] { return device->RawBytes().size() == 3000; }));
}

TEST_F(Port, StartBlocksCarryTheFileSize)
{
    const devlink::LinkMessage start = devlink::StartBlock(devlink::kModemImage, 23000000);
    const devlink::LinkBlock block = devlink::EncodeBlock(start);
    EXPECT_EQ(block[0], 0x98);
    EXPECT_EQ(block[1] | (block[2] << 8), 1392);
    EXPECT_EQ(block[1359] | (block[1360] << 8), 1350);
    EXPECT_EQ(block[1367] | (block[1368] << 8) | (block[1369] << 16) | (block[1370] << 24), 23000000);
}

TEST_F(Port, WaitForResultReadsTheWriteOutcome)
{
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kLinuxImage) return std::nullopt;
        return DeviceBlock(devlink::kLinuxImage, seen.seq);
    };
    Open();
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    EXPECT_EQ(port->WaitForResult(), 0);
    override = [](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> { return DeviceBlock(0x04, seen.seq); };
    ASSERT_TRUE(Eventually([&] { return port->SendDrained(); }));
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    EXPECT_EQ(port->WaitForResult(), -1);
    EXPECT_EQ(port->ErrorText(), u"接收命令字不符合!");
    override = [](const SeenBlock&) -> std::optional<devlink::LinkBlock> { return devlink::LinkBlock{}; };
    ASSERT_TRUE(Eventually([&] { return port->SendDrained(); }));
    platform::SetTimeScale(200.0);
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    EXPECT_EQ(port->WaitForResult(), -1);
    EXPECT_EQ(port->ErrorText(), u"没有接收到数据!");
}

TEST_F(Port, ClosingSendsTheNoticeAndCountsTheSessionOutOnce)
{
    Open();
    ASSERT_TRUE(Eventually([&] { return server->SessionCount() == 1; }));
    EXPECT_EQ(devlink::PortControl(*port, true, 1), 0);
    EXPECT_EQ(devlink::PortControl(*port, false, 0), 0);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(devlink::PortControl(*port, true, 0), 0);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(devlink::PortControl(*port, true, 1), -1);
    EXPECT_EQ(devlink::PortControl(*port, true, 9), 0);
    ASSERT_TRUE(Eventually([&] { return device->Seen().size() == 2; }));
    EXPECT_EQ(device->Seen()[1].type, devlink::kCmdClose);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server->SessionCount(), 0);
    EXPECT_EQ(port->ClosePort(), 1);
}

TEST_F(Port, PlainChannelFailsWithoutIo)
{
    std::u16string text = u"unchanged";
    EXPECT_EQ(port->ReadVersionBlock(text), 0);
    EXPECT_EQ(text, u"unchanged");
    EXPECT_EQ(port->ClosePlainChannel(), 0);
}

}  // namespace
