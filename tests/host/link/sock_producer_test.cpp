#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "../support/driven_clock.h"
#include "../support/loopback_address.h"
#include "../support/poll_until.h"
#include "../support/test_env.h"
#include "driven_link_clock.h"
#include "link/sock_producer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/udp_socket.h"

namespace {

using devlink::CSockProducer;
using devlink::kAnnouncePeriodMs;
using devlink::LinkMessage;
using testing_support::PollUntil;

// The server on a clock the test drives: its announcements come exactly
// at their period of clock time, and once the clock has settled every
// datagram and byte sent is where it was sent. Its send and receive
// threads poll in real time, so what they do is waited for with PollUntil.
class Server : public ::testing::Test {
protected:
    Server()
    {
        clock.AddSettledCondition([this] {
            if (!server) return true;
            for (int slot = 0; slot < devlink::kSessionSlots; ++slot) {
                if (server->SendPending(slot)) return false;
            }
            return true;
        });
    }

    void SetUp() override
    {
        folder = testing_support::UsePrivateTempFolder("server");
        platform::CreateFolder(folder + u"Logs");
        ASSERT_TRUE(platform::StartNetworking());
        ASSERT_TRUE(announceReceiver.Open());
        ASSERT_TRUE(announceReceiver.Bind(testing_support::LoopbackAddress(), 0));
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = announceReceiver.Port();
        settings.hostFilter = hostFilter;
        settings.logFolder = folder.substr(0, folder.size() - 1);
        server = std::make_unique<CSockProducer>(settings);
        startMs = clock.NowMs();
        ASSERT_EQ(link_testing::RunOnClock(clock, [&] { return server->InitInstance(); }), std::optional<int>(0));
    }
    void TearDown() override
    {
        EXPECT_EQ(clock.ForcedSettles(), 0);
        server.reset();
    }

    std::unique_ptr<platform::TcpSocket> Connect()
    {
        auto client = std::make_unique<platform::TcpSocket>();
        EXPECT_TRUE(client->Open());
        EXPECT_TRUE(client->Connect(testing_support::LoopbackAddress(), server->ListenPort(), 5000));
        return client;
    }

    // Connects, waits for the server to accept, and binds the session to `slot`.
    std::unique_ptr<platform::TcpSocket> Session(int slot)
    {
        auto client = Connect();
        EXPECT_TRUE(PollUntil([&] { return server->AcceptedCount() == 1; }));
        server->BindSlot(slot, server->ClaimOldest());
        return client;
    }

    // The announcements that have arrived, once `expected` have (bounded in
    // real time: a datagram sent before the clock settled may still be on
    // its way to the socket on some systems).
    int TakeAnnouncements(int expected = 0)
    {
        int count = 0;
        uint8_t datagram[2000];
        size_t received = 0;
        PollUntil([&] {
            while (announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 0)) ++count;
            return count >= expected;
        }, std::chrono::seconds(10));
        return count;
    }

    // Declared first: it outlives every thread that waits on it.
    testing_support::DrivenClock clock;
    link_testing::PassedDeadlinePoll passedDeadlinePoll{clock};
    std::string hostFilter = "127.0";
    std::u16string folder;
    platform::UdpSocket announceReceiver;
    std::unique_ptr<CSockProducer> server;
    uint64_t startMs = 0;
};

TEST_F(Server, AnnouncesItsPortAndTheChosenHostAddress)
{
    uint8_t datagram[2000];
    size_t received = 0;
    ASSERT_TRUE(link_testing::StepUntil(clock, [&] { return announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 0); }, 20000));
    ASSERT_EQ(received, devlink::kBlockSize);
    LinkMessage message;
    ASSERT_TRUE(devlink::DecodeBlock(std::span<const uint8_t, devlink::kBlockSize>(datagram, devlink::kBlockSize), message));
    EXPECT_EQ(message.type, 0x6A);
    EXPECT_EQ(message.param, 114u);
    EXPECT_EQ(message.seq, 108u);
    EXPECT_EQ(message.arg1, server->ListenPort());
    EXPECT_EQ(message.arg2, testing_support::LoopbackAddress());
}

// One announcement a period: none before the first period has passed, then
// exactly N more after N periods, none in between.
TEST_F(Server, AnnouncesOncePerPeriod)
{
    int count = 0;
    ASSERT_TRUE(link_testing::StepUntil(clock, [&] { return (count = TakeAnnouncements()) > 0; }, 2 * kAnnouncePeriodMs));
    EXPECT_EQ(count, 1);
    // The announcement thread starts while the server starts (a clock
    // second), so its first period ends 5 s to 6 s after the start.
    const uint64_t first = clock.NowMs();
    EXPECT_GE(first - startMs, kAnnouncePeriodMs);
    EXPECT_LE(first - startMs, kAnnouncePeriodMs + 1000);
    for (int period = 1; period <= 3; ++period) {
        ASSERT_TRUE(clock.Advance(kAnnouncePeriodMs - 1));
        EXPECT_EQ(TakeAnnouncements(), 0) << "period " << period;
        ASSERT_TRUE(clock.Advance(1));
        EXPECT_EQ(TakeAnnouncements(1), 1) << "period " << period;
    }
    ASSERT_TRUE(clock.Advance(4 * kAnnouncePeriodMs));
    EXPECT_EQ(TakeAnnouncements(4), 4);
    EXPECT_EQ(clock.NowMs() - first, 7 * kAnnouncePeriodMs);
}

class ServerWithoutAddress : public Server {
protected:
    void SetUp() override
    {
        hostFilter = "no-such-network";
        Server::SetUp();
    }
};

TEST_F(ServerWithoutAddress, SendsNoAnnouncementButStillListens)
{
    ASSERT_TRUE(clock.Advance(3 * kAnnouncePeriodMs));
    EXPECT_EQ(TakeAnnouncements(), 0);
    auto client = Connect();
    EXPECT_TRUE(PollUntil([&] { return server->AcceptedCount() == 1 && server->SessionCount() == 1; }));
}

TEST_F(Server, BlocksArrivingInPiecesAreQueuedWhole)
{
    auto client = Session(0);
    LinkMessage reply;
    reply.type = devlink::kCmdData;
    reply.seq = 7;
    reply.length = 5;
    reply.SetData(std::vector<uint8_t>{'V', '1', '.', '0', 0});
    const devlink::LinkBlock block = devlink::EncodeBlock(LinkMessage{reply});
    ASSERT_TRUE(client->Send(block.data(), 100));
    // Settled: the server has read the first 100 bytes.
    ASSERT_TRUE(clock.Settle());
    EXPECT_EQ(server->QueueSize(0), 0u);
    ASSERT_TRUE(client->Send(block.data() + 100, block.size() - 100));
    ASSERT_TRUE(PollUntil([&] { return server->QueueSize(0) == 1; }));
    LinkMessage taken;
    EXPECT_FALSE(server->TakeMessage(0, 6, taken));
    ASSERT_TRUE(server->TakeMessage(0, 7, taken));
    EXPECT_EQ(taken.type, devlink::kCmdData);
    EXPECT_EQ(taken.length, 5u);
    EXPECT_EQ(taken.payload[0], 'V');
    EXPECT_EQ(server->QueueSize(0), 0u);
}

TEST_F(Server, UnknownBlockTypesStillReachTheQueue)
{
    auto client = Session(1);
    devlink::LinkBlock block{};
    block.fill(0x5A);
    block[0] = 0x77;
    block[5] = 3;
    block[6] = block[7] = block[8] = 0;
    ASSERT_TRUE(client->Send(block.data(), block.size()));
    ASSERT_TRUE(PollUntil([&] { return server->QueueSize(1) == 1; }));
    LinkMessage taken;
    ASSERT_TRUE(server->TakeMessage(1, 3, taken));
    EXPECT_EQ(taken.type, 0x77);
    EXPECT_EQ(taken.param, 0x5A5A5A5Au);
    EXPECT_EQ(taken.length, 0u);
}

TEST_F(Server, PostedBlocksLeaveWhole)
{
    auto client = Session(2);
    LinkMessage request;
    request.type = devlink::kCmdQueryInfo;
    request.seq = 2;
    request.length = 1;
    ASSERT_TRUE(server->PostMessage(2, request));
    EXPECT_FALSE(server->PostMessage(3, request));  // no socket in that slot
    std::vector<uint8_t> got;
    const bool whole = PollUntil([&] {
        uint8_t buffer[devlink::kBlockSize];
        size_t received = 0;
        const platform::ReceiveStatus status = client->Receive(buffer, devlink::kBlockSize - got.size(), received, 0);
        if (status == platform::ReceiveStatus::kData) got.insert(got.end(), buffer, buffer + received);
        return got.size() == devlink::kBlockSize || (status != platform::ReceiveStatus::kData && status != platform::ReceiveStatus::kTimeout);
    });
    ASSERT_TRUE(whole);
    ASSERT_EQ(got.size(), devlink::kBlockSize);
    const devlink::LinkBlock expected = devlink::EncodeBlock(request);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
    EXPECT_TRUE(PollUntil([&] { return !server->SendPending(2); }));
}

TEST_F(Server, PeerThatClosesFreesItsSlotAndTheCount)
{
    auto client = Session(0);
    ASSERT_TRUE(PollUntil([&] { return server->SessionCount() == 1; }));
    client->Close();
    EXPECT_TRUE(PollUntil([&] { return !server->SlotBound(0) && server->SessionCount() == 0; }));
}

TEST_F(Server, FifthConnectionWaitsWhileFourSessionsAreCounted)
{
    // One at a time, so that the oldest accepted is the first client's.
    std::vector<std::unique_ptr<platform::TcpSocket>> clients;
    for (size_t i = 0; i < 4; ++i) {
        clients.push_back(Connect());
        ASSERT_TRUE(PollUntil([&] { return server->AcceptedCount() == i + 1; }));
    }
    ASSERT_EQ(server->SessionCount(), 4);
    auto fifth = Connect();  // the system completes the handshake; the server does not accept
    // A block from a session bound after the fifth connection was complete
    // is read in a pass of the server's receive loop that looked at the
    // listener too, had it been accepting: the fifth would be accepted by
    // the time the block is queued.
    server->BindSlot(0, server->ClaimOldest());
    devlink::LinkBlock block{};
    block[0] = devlink::kCmdData;
    block[5] = 9;
    ASSERT_TRUE(clients[0]->Send(block.data(), block.size()));
    ASSERT_TRUE(PollUntil([&] { return server->QueueSize(0) == 1; }));
    EXPECT_EQ(server->AcceptedCount(), 3u);
    EXPECT_EQ(server->SessionCount(), 4);
    // Nor does it announce itself while full.
    TakeAnnouncements();
    ASSERT_TRUE(clock.Advance(2 * kAnnouncePeriodMs));
    EXPECT_EQ(TakeAnnouncements(), 0);

    // A session that ends makes room: the waiting connection is accepted.
    clients[0]->Close();
    EXPECT_TRUE(PollUntil([&] { return server->AcceptedCount() == 4 && server->SessionCount() == 4 && !server->SlotBound(0); }));
}

TEST_F(Server, SessionLogHoldsStartAndEnd)
{
    const platform::LocalTime when{2014, 7, 5, 9, 3, 7};
    EXPECT_EQ(devlink::SessionLogStamp(when), "201475937");
    EXPECT_EQ(devlink::SessionLogStamp(platform::LocalTime{2014, 12, 25, 23, 59, 58}), "20141225235958");
    server->Log().WriteLine("a line");
    server.reset();
    // One file in Logs: find it by trying the stamps of the last minutes.
    bool found = false;
    const platform::LocalTime now = platform::CurrentLocalTime();
    for (int second = 0; second <= now.second && !found; ++second) {
        platform::LocalTime stamp = now;
        stamp.second = second;
        const auto bytes = platform::ReadWholeFile(folder + u"Logs" + std::u16string(1, platform::kPathSeparator) + u"Log_" +
                                                   platform::Utf8ToUtf16(devlink::SessionLogStamp(stamp)) + u".txt");
        if (!bytes) continue;
        found = true;
        std::string text(bytes->begin(), bytes->end());
        std::erase(text, '\r');  // a text stream writes CR LF on Windows
        EXPECT_EQ(text, "start\na line\nend\n");
    }
    EXPECT_TRUE(found);
}

}  // namespace
