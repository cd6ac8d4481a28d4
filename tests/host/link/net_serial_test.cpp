#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

#include "../support/driven_clock.h"
#include "../support/poll_until.h"
#include "../support/test_env.h"
#include "driven_link_clock.h"
#include "fake_device.h"
#include "link/net_serial.h"
#include "platform/clock.h"

namespace {

using devlink::CNetSerial;
using devlink::CSockProducer;
using testing_support::PollUntil;

using Answer = std::function<std::optional<devlink::LinkBlock>(const SeenBlock&)>;

// The port, the rendezvous server and the device run on a clock the test
// drives: time moves only once every thread waits, no byte is under way
// and no block waits in a send slot, so a reply that is on its way always
// arrives before the next deadline and every window lasts exactly its
// length of clock time. The device answers every request with the same
// type and seq, CMD_QUERY_INFO with a version text; the test can replace
// the answer per type.
class Port : public ::testing::Test {
protected:
    Port()
    {
        clock.AddSettledCondition([this] { return NoBlockWaitsToBeSent(); });
    }

    void SetUp() override
    {
        testing_support::UsePrivateTempFolder("port");
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = 9;
        settings.hostFilter = "no-announcement";
        server = std::make_unique<CSockProducer>(settings);
        ASSERT_EQ(link_testing::RunOnClock(clock, [&] { return server->InitInstance(); }), std::optional<int>(0));
        port = std::make_unique<CNetSerial>(*server);
    }
    void TearDown() override
    {
        // No byte under way was ever taken as lost: every reply arrived
        // before time moved on.
        EXPECT_EQ(clock.ForcedSettles(), 0);
        device.reset();
        port.reset();
        server.reset();
    }

    bool NoBlockWaitsToBeSent()
    {
        if (!server) return true;
        for (int slot = 0; slot < devlink::kSessionSlots; ++slot) {
            if (server->SendPending(slot)) return false;
        }
        return true;
    }

    // Runs a product call that waits on the clock while time runs; its result.
    template <typename Work>
    auto Drive(Work work) -> decltype(work())
    {
        auto result = link_testing::RunOnClock(clock, work);
        EXPECT_TRUE(result.has_value()) << "the call did not return within an hour of clock time";
        return result.value_or(decltype(work()){});
    }

    // The same, with the clock time the call took.
    template <typename Work>
    auto Timed(Work work, uint64_t& tookMs) -> decltype(work())
    {
        return Drive([&] {
            const uint64_t start = platform::MonotonicMs();
            auto result = work();
            tookMs = platform::MonotonicMs() - start;
            return result;
        });
    }

    void SetAnswer(Answer answer)
    {
        std::lock_guard<std::mutex> lock(answerMutex);
        override = std::move(answer);
    }

    std::optional<devlink::LinkBlock> AnswerTo(const SeenBlock& seen)
    {
        Answer answer;
        {
            std::lock_guard<std::mutex> lock(answerMutex);
            answer = override;
        }
        if (answer) {
            if (std::optional<devlink::LinkBlock> block = answer(seen)) return block;
        }
        if (seen.type == devlink::kCmdQueryInfo) {
            const std::string text = "EN_PELA_BR_KR710MV1.0.0B15";
            return DeviceBlock(seen.type, seen.seq, std::vector<uint8_t>(text.begin(), text.end() + 1), static_cast<uint32_t>(text.size() + 1));
        }
        if (seen.type == devlink::kCmdClose || seen.type == devlink::kCmdReboot || seen.type == devlink::kCmdData) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq);
    }

    void Connect()
    {
        device = std::make_unique<FakeDevice>(server->ListenPort(), [this](const SeenBlock& seen) { return AnswerTo(seen); });
        ASSERT_TRUE(PollUntil([&] { return server->AcceptedCount() == 1; }));
    }

    void Open()
    {
        Connect();
        ASSERT_EQ(Drive([&] { return port->InitPort(0); }), 1);
    }

    // Declared first: it outlives every thread that waits on it.
    testing_support::DrivenClock clock;
    link_testing::PassedDeadlinePoll passedDeadlinePoll{clock};
    std::unique_ptr<CSockProducer> server;
    std::unique_ptr<CNetSerial> port;
    std::unique_ptr<FakeDevice> device;
    std::mutex answerMutex;
    Answer override;
};

TEST_F(Port, OpeningWithoutAConnectionFailsAndLeavesTheSlotsAlone)
{
    uint64_t took = 1;
    EXPECT_EQ(Timed([&] { return port->InitPort(0); }, took), 0);
    EXPECT_EQ(took, 0u);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->SessionIndex(), -1);
    EXPECT_EQ(port->SeqCounter(), 1u);
    for (int slot = 0; slot < devlink::kSessionSlots; ++slot) {
        EXPECT_FALSE(server->SlotBound(slot));
        EXPECT_FALSE(server->SendPending(slot));
    }
    EXPECT_EQ(server->SessionCount(), 0);
    EXPECT_EQ(Drive([&] { return port->InitPort(7); }), 0);
    EXPECT_EQ(port->SessionIndex(), -1);
}

TEST_F(Port, OpensWithIpMacAndTheNextMessageCarriesSeq2)
{
    Open();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->InitPort(0), 1);
    EXPECT_TRUE(server->SlotBound(0));
    EXPECT_EQ(port->SeqCounter(), 1u);
    std::u16string version;
    ASSERT_TRUE(Drive([&] { return port->QueryInfo(version); }));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, devlink::kCmdIpMac);
    EXPECT_EQ(seen[0].seq, 2u);
    EXPECT_EQ(seen[1].type, devlink::kCmdQueryInfo);
    EXPECT_EQ(seen[1].seq, 2u);
    EXPECT_TRUE(std::all_of(seen[1].bytes.begin() + 9, seen[1].bytes.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(server->QueueSize(0), 0u);
}

// The CMD_IP_MAC answer 90 ms after the request is inside the port's 100 ms
// reply window however soon the request drained: it is taken and the seq
// starts again.
TEST_F(Port, IpMacReplyWithinItsWindowIsTaken)
{
    Connect();
    device->DelayAnswers(devlink::kCmdIpMac, 90);
    ASSERT_EQ(Drive([&] { return port->InitPort(0); }), 1);
    EXPECT_EQ(port->SeqCounter(), 1u);
    EXPECT_EQ(server->QueueSize(0), 0u);
    std::u16string version;
    ASSERT_TRUE(Drive([&] { return port->QueryInfo(version); }));
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].seq, 2u);
}

// An answer that comes a second later is past the window (at most 120 ms
// to drain and 100 ms for the reply): the port opens all the same, the seq
// goes on from the request's, and the late answer stays in the queue, never
// taken for a later request.
TEST_F(Port, IpMacReplyAfterItsWindowIsLeftAndTheSeqGoesOn)
{
    Connect();
    device->DelayAnswers(devlink::kCmdIpMac, 1000);
    uint64_t took = 0;
    ASSERT_EQ(Timed([&] { return port->InitPort(0); }, took), 1);
    EXPECT_LE(took, 220u);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->SeqCounter(), 2u);
    EXPECT_EQ(server->QueueSize(0), 0u);
    ASSERT_TRUE(link_testing::StepUntil(clock, [&] { return server->QueueSize(0) == 1; }, 2000));
    EXPECT_TRUE(server->HasMessage(0, 2));
    std::u16string version;
    ASSERT_TRUE(Drive([&] { return port->QueryInfo(version); }));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].type, devlink::kCmdQueryInfo);
    EXPECT_EQ(seen[1].seq, 3u);
    EXPECT_EQ(server->QueueSize(0), 1u);
    EXPECT_TRUE(server->HasMessage(0, 2));
}

TEST_F(Port, QueryAfterTheRouterHungUpFailsAndClearsTheOpenFlag)
{
    Open();
    device.reset();
    ASSERT_TRUE(PollUntil([&] { return server->SessionCount() == 0; }));
    std::u16string version = u"before";
    EXPECT_FALSE(Drive([&] { return port->QueryInfo(version); }));
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(Port, RepliesLeftByAnEarlierSessionAreNotTakenForTheNextRouter)
{
    Open();
    device->Send(DeviceBlock(devlink::kCmdIpMac, 2));
    ASSERT_TRUE(PollUntil([&] { return server->QueueSize(0) == 1; }));
    ASSERT_EQ(Drive([&] { return port->ClosePort(); }), 1);
    Open();
    EXPECT_EQ(server->QueueSize(0), 0u);
    const uint8_t data[] = {1, 2, 3};
    ASSERT_EQ(port->WriteData(data, sizeof data), sizeof data);
    EXPECT_EQ(port->SeqCounter(), 2u);
    EXPECT_FALSE(port->ReplyReady());
}

TEST_F(Port, QueryTextWithoutAZeroByteStaysInsideTheBlock)
{
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdQueryInfo) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq, std::vector<uint8_t>(1350, 'A'), 0xFFFFFFFF);
    });
    Open();
    std::u16string version;
    ASSERT_TRUE(Drive([&] { return port->QueryInfo(version); }));
    EXPECT_EQ(version, std::u16string(1350, u'A'));
}

// The answer to CMD_MODEM_STATE (seq 2) comes with seq 3 at once: it sits in
// the queue for the whole 100 s window and is never taken.
TEST_F(Port, ReplyWithAnotherSeqIsNeverTaken)
{
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdModemState) return std::nullopt;
        return DeviceBlock(seen.type, seen.seq + 1);
    });
    Open();
    ASSERT_EQ(port->SeqCounter(), 1u);
    uint64_t took = 0;
    EXPECT_FALSE(Timed([&] { return port->ModemState(); }, took));
    EXPECT_GE(took, 100000u);
    EXPECT_LT(took, 100000u + 120);
    const std::vector<SeenBlock> seen = device->Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].type, devlink::kCmdModemState);
    EXPECT_EQ(seen[1].seq, 2u);
    EXPECT_EQ(server->QueueSize(0), 1u);
    EXPECT_TRUE(server->HasMessage(0, 3));
    EXPECT_FALSE(port->ReplyReady());
    EXPECT_TRUE(port->IsOpen());
}

// The same request answered with its own seq 99 s later, inside the window:
// taken at the next poll.
TEST_F(Port, ReplyWithItsSeqLateInTheWindowIsTaken)
{
    Open();
    device->DelayAnswers(devlink::kCmdModemState, 99000);
    uint64_t took = 0;
    EXPECT_TRUE(Timed([&] { return port->ModemState(); }, took));
    EXPECT_GE(took, 99000u);
    EXPECT_LE(took, 99000u + 120);
    EXPECT_EQ(server->QueueSize(0), 0u);
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(Port, RefusedModemStateFailsAndClosesThePort)
{
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kCmdModemState) return std::nullopt;
        return DeviceBlock(devlink::kCmdClose, seen.seq);
    });
    Open();
    const int32_t sessions = server->SessionCount();
    uint64_t took = 0;
    EXPECT_FALSE(Timed([&] { return port->ModemState(); }, took));
    // At the first poll after the refusal, not at the end of the window.
    EXPECT_LT(took, 1000u);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->ErrorText(), u"KR710M can not switch to user mode.");
    EXPECT_EQ(server->SessionCount(), sessions - 1);
    EXPECT_FALSE(server->SlotBound(0));
    ASSERT_TRUE(PollUntil([&] { return device->Seen().size() == 3; }));
    EXPECT_EQ(device->Seen()[2].type, devlink::kCmdClose);
}

TEST_F(Port, CommandsSucceedOnTheirOwnReplyType)
{
    Open();
    EXPECT_TRUE(Drive([&] { return port->ModemState(); }));
    EXPECT_TRUE(Drive([&] { return port->ToUserMode(); }));
    EXPECT_TRUE(Drive([&] { return port->ModemUpgrade(); }));
    EXPECT_TRUE(Drive([&] { return port->CloseFactory(); }));
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        return DeviceBlock(seen.type == devlink::kCmdToUserMode ? devlink::kCmdClose : 0x55, seen.seq);
    });
    EXPECT_FALSE(Drive([&] { return port->CloseFactory(); }));
    EXPECT_TRUE(port->IsOpen());
    EXPECT_FALSE(Drive([&] { return port->ToUserMode(); }));
    EXPECT_EQ(port->ErrorText(), u"KR710M can not switch to user mode from factory mode.");
}

TEST_F(Port, DataAndRawWrites)
{
    Open();
    std::vector<uint8_t> bytes(1350);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(port->WriteData(bytes.data(), 2000), 1350u);
    ASSERT_TRUE(PollUntil([&] { return device->Seen().size() == 2; }));
    const SeenBlock data = device->Seen()[1];
    EXPECT_EQ(data.type, devlink::kCmdData);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data.bytes.begin() + 9));
    EXPECT_EQ(data.bytes[1359] | (data.bytes[1360] << 8), 1350);

    ASSERT_TRUE(PollUntil([&] { return port->SendDrained(); }));
    device->ExpectRawBytes(3000);
    std::vector<uint8_t> raw(3000, 0x42);
    EXPECT_EQ(Drive([&] { return port->RawWrite(raw.data(), raw.size()); }), 3000u);
    ASSERT_TRUE(PollUntil([&] { return device->RawBytes().size() == 3000; }));
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
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type != devlink::kLinuxImage) return std::nullopt;
        return DeviceBlock(devlink::kLinuxImage, seen.seq);
    });
    Open();
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    EXPECT_EQ(Drive([&] { return port->WaitForResult(); }), 0);
    SetAnswer([](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> { return DeviceBlock(0x04, seen.seq); });
    ASSERT_TRUE(PollUntil([&] { return port->SendDrained(); }));
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    EXPECT_EQ(Drive([&] { return port->WaitForResult(); }), -1);
    EXPECT_EQ(port->ErrorText(), u"接收命令字不符合!");
    // An answer that is no reply to it: the whole 300 s pass without one.
    SetAnswer([](const SeenBlock&) -> std::optional<devlink::LinkBlock> { return devlink::LinkBlock{}; });
    ASSERT_TRUE(PollUntil([&] { return port->SendDrained(); }));
    ASSERT_NE(port->PostMessage(devlink::StartBlock(devlink::kLinuxImage, 10)), 0u);
    uint64_t took = 0;
    EXPECT_EQ(Timed([&] { return port->WaitForResult(); }, took), -1);
    EXPECT_GE(took, 300000u);
    EXPECT_LT(took, 300000u + 30);
    EXPECT_EQ(port->ErrorText(), u"没有接收到数据!");
    EXPECT_EQ(server->QueueSize(0), 1u);
}

TEST_F(Port, ClosingSendsTheNoticeAndCountsTheSessionOutOnce)
{
    Open();
    ASSERT_TRUE(PollUntil([&] { return server->SessionCount() == 1; }));
    EXPECT_EQ(devlink::PortControl(*port, true, 1), 0);
    EXPECT_EQ(devlink::PortControl(*port, false, 0), 0);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(Drive([&] { return devlink::PortControl(*port, true, 0); }), 0);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(devlink::PortControl(*port, true, 1), -1);
    EXPECT_EQ(devlink::PortControl(*port, true, 9), 0);
    ASSERT_TRUE(PollUntil([&] { return device->Seen().size() == 2; }));
    EXPECT_EQ(device->Seen()[1].type, devlink::kCmdClose);
    EXPECT_EQ(server->SessionCount(), 0);
    // Counted out once, not again by the server when it notices the closed
    // socket: two routers that connect now are counted from zero. The
    // second is accepted in a pass of the server's receive loop that began
    // after the first was accepted, so no pass that could still have held
    // the closed session is left by then.
    uint32_t loopback = 0;
    ASSERT_TRUE(platform::ResolveIPv4("127.0.0.1", loopback));
    platform::TcpSocket first;
    platform::TcpSocket second;
    ASSERT_TRUE(first.Open() && first.Connect(loopback, server->ListenPort(), 5000));
    ASSERT_TRUE(PollUntil([&] { return server->AcceptedCount() == 1; }));
    ASSERT_TRUE(second.Open() && second.Connect(loopback, server->ListenPort(), 5000));
    ASSERT_TRUE(PollUntil([&] { return server->AcceptedCount() == 2; }));
    EXPECT_EQ(server->SessionCount(), 2);
    EXPECT_EQ(Drive([&] { return port->ClosePort(); }), 1);
}

TEST_F(Port, PlainChannelFailsWithoutIo)
{
    std::u16string text = u"unchanged";
    EXPECT_EQ(port->ReadVersionBlock(text), 0);
    EXPECT_EQ(text, u"unchanged");
    EXPECT_EQ(port->ClosePlainChannel(), 0);
}

}  // namespace
