#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "link/sock_producer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/udp_socket.h"
#include "../support/test_env.h"

namespace {

using devlink::CSockProducer;
using devlink::LinkMessage;

uint32_t Loopback()
{
    uint32_t address = 0;
    platform::ResolveIPv4("127.0.0.1", address);
    return address;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetTimeScale(100.0);
        folder = testing_support::UsePrivateTempFolder("server");
        platform::CreateFolder(folder + u"Logs");
        ASSERT_TRUE(platform::StartNetworking());
        ASSERT_TRUE(announceReceiver.Open());
        ASSERT_TRUE(announceReceiver.Bind(Loopback(), 0));
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = announceReceiver.Port();
        settings.hostFilter = hostFilter;
        settings.logFolder = folder.substr(0, folder.size() - 1);
        server = std::make_unique<CSockProducer>(settings);
        ASSERT_EQ(server->InitInstance(), 0);
    }
    void TearDown() override
    {
        server.reset();
        platform::SetTimeScale(1.0);
    }

    std::unique_ptr<platform::TcpSocket> Connect()
    {
        auto client = std::make_unique<platform::TcpSocket>();
        EXPECT_TRUE(client->Open());
        EXPECT_TRUE(client->Connect(Loopback(), server->ListenPort(), 5000));
        return client;
    }

    // Connects, waits for the server to accept, and binds the session to `slot`.
    std::unique_ptr<platform::TcpSocket> Session(int slot)
    {
        auto client = Connect();
        EXPECT_TRUE(Eventually([&] { return server->AcceptedCount() == 1; }));
        server->BindSlot(slot, server->ClaimOldest());
        return client;
    }

    std::string hostFilter = "127.0";
    std::u16string folder;
    platform::UdpSocket announceReceiver;
    std::unique_ptr<CSockProducer> server;
};

TEST_F(Server, AnnouncesItsPortAndTheChosenHostAddress)
{
    uint8_t datagram[2000];
    size_t received = 0;
    ASSERT_TRUE(announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 20000));
    ASSERT_EQ(received, devlink::kBlockSize);
    LinkMessage message;
    ASSERT_TRUE(devlink::DecodeBlock(std::span<const uint8_t, devlink::kBlockSize>(datagram, devlink::kBlockSize), message));
    EXPECT_EQ(message.type, 0x6A);
    EXPECT_EQ(message.param, 114u);
    EXPECT_EQ(message.seq, 108u);
    EXPECT_EQ(message.arg1, server->ListenPort());
    EXPECT_EQ(message.arg2, Loopback());
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
    uint8_t datagram[2000];
    size_t received = 0;
    EXPECT_FALSE(announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 3 * devlink::kAnnouncePeriodMs));
    auto client = Connect();
    EXPECT_TRUE(Eventually([&] { return server->AcceptedCount() == 1 && server->SessionCount() == 1; }));
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
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(server->QueueSize(0), 0u);
    ASSERT_TRUE(client->Send(block.data() + 100, block.size() - 100));
    ASSERT_TRUE(Eventually([&] { return server->QueueSize(0) == 1; }));
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
    ASSERT_TRUE(Eventually([&] { return server->QueueSize(1) == 1; }));
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
    while (got.size() < devlink::kBlockSize) {
        uint8_t buffer[devlink::kBlockSize];
        size_t received = 0;
        ASSERT_EQ(client->Receive(buffer, devlink::kBlockSize - got.size(), received, 5000), platform::ReceiveStatus::kData);
        got.insert(got.end(), buffer, buffer + received);
    }
    const devlink::LinkBlock expected = devlink::EncodeBlock(request);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
    EXPECT_TRUE(Eventually([&] { return !server->SendPending(2); }));
}

TEST_F(Server, PeerThatClosesFreesItsSlotAndTheCount)
{
    auto client = Session(0);
    ASSERT_TRUE(Eventually([&] { return server->SessionCount() == 1; }));
    client->Close();
    EXPECT_TRUE(Eventually([&] { return !server->SlotBound(0) && server->SessionCount() == 0; }));
}

TEST_F(Server, FifthConnectionWaitsWhileFourSessionsAreCounted)
{
    std::vector<std::unique_ptr<platform::TcpSocket>> clients;
    for (int i = 0; i < 4; ++i) clients.push_back(Connect());
    ASSERT_TRUE(Eventually([&] { return server->SessionCount() == 4; }));
    auto fifth = Connect();  // the system completes the handshake; the server does not accept
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(server->AcceptedCount(), 4u);
    EXPECT_EQ(server->SessionCount(), 4);
    uint8_t datagram[2000];
    size_t received = 0;
    while (announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 0)) {
    }
    EXPECT_FALSE(announceReceiver.ReceiveFrom(datagram, sizeof datagram, received, 2 * devlink::kAnnouncePeriodMs));

    // A session that ends makes room: the waiting connection is accepted.
    server->BindSlot(0, server->ClaimOldest());
    clients[0]->Close();
    EXPECT_TRUE(Eventually([&] { return server->AcceptedCount() == 4 && server->SessionCount() == 4 && !server->SlotBound(0); }));
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
