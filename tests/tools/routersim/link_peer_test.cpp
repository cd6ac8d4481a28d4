#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "firmware_images.h"
#include "link/diag_frame.h"
#include "link_fixture.h"
#include "routersim/md5.h"

using namespace routersim_test;
using LinkPeerTest = LinkPeerFixture;

namespace {

std::string TextAt9(const Block& block)
{
    const auto begin = block.begin() + 9;
    return std::string(begin, std::find(begin, block.end(), uint8_t{0}));
}

}  // namespace

TEST_F(LinkPeerTest, ConnectsToTheAnnouncedHostAndAnswersIpMacWithItsSeq)
{
    Connect();
    const auto reply = host.Ask(RequestBlock(0x40, 1));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x40);
    EXPECT_EQ(At32(*reply, 5), 1u);
    EXPECT_TRUE(std::all_of(reply->begin() + 9, reply->end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(peer.BlocksSeen(0x40), 1);
    const routersim::LinkCounters counters = peer.Counters();
    EXPECT_EQ(counters.announcements, 1);
    EXPECT_EQ(counters.connections, 1);
}

TEST_F(LinkPeerTest, QueryInfoAnswersTheVersionOfTheRouterState)
{
    Connect();
    auto reply = host.Ask(RequestBlock(0x61, 2));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x61);
    EXPECT_EQ(At32(*reply, 5), 2u);
    EXPECT_EQ(TextAt9(*reply), "EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_EQ(At32(*reply, 1359), 27u);

    state.SetFirmwareVersion("EN_PELA_BR_KR880PLUSV1.0.0B02");
    reply = host.Ask(RequestBlock(0x61, 3));
    ASSERT_TRUE(reply);
    EXPECT_EQ(TextAt9(*reply), "EN_PELA_BR_KR880PLUSV1.0.0B02");
    EXPECT_EQ(At32(*reply, 1359), 30u);
}

TEST_F(LinkPeerTest, EsnReadAnswersACheckedFrame)
{
    peer.SetEsn(0x12345678);
    Connect();
    const std::vector<uint8_t> request = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    const auto reply = host.Ask(RequestBlock(0x04, 5, request, static_cast<uint32_t>(request.size())));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x04);
    EXPECT_EQ(At32(*reply, 5), 5u);
    const uint32_t length = At32(*reply, 1359);
    ASSERT_GT(length, 0u);
    ASSERT_LE(length, 1350u);
    const devlink::UnframeResult frame = devlink::UnframeAndCheck(std::span<const uint8_t>(reply->data() + 9, length));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body, (std::vector<uint8_t>{0x01, 0x78, 0x56, 0x34, 0x12}));
}

TEST_F(LinkPeerTest, EsnWithBytesThatNeedEscaping)
{
    peer.SetEsn(0x7D7E7E7D);
    Connect();
    const std::vector<uint8_t> request = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    const auto reply = host.Ask(RequestBlock(0x04, 2, request, static_cast<uint32_t>(request.size())));
    ASSERT_TRUE(reply);
    const devlink::UnframeResult frame = devlink::UnframeAndCheck(std::span<const uint8_t>(reply->data() + 9, At32(*reply, 1359)));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body, (std::vector<uint8_t>{0x01, 0x7D, 0x7E, 0x7E, 0x7D}));
}

TEST_F(LinkPeerTest, OtherDiagCommandsAndBrokenFramesAnswerBadCommand)
{
    Connect();
    const std::vector<uint8_t> other = devlink::BuildFrame(std::vector<uint8_t>{0x4B, 0x09});
    auto reply = host.Ask(RequestBlock(0x04, 2, other, static_cast<uint32_t>(other.size())));
    ASSERT_TRUE(reply);
    auto frame = devlink::UnframeAndCheck(std::span<const uint8_t>(reply->data() + 9, At32(*reply, 1359)));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body, (std::vector<uint8_t>{0x13, 0x4B, 0x09}));

    const std::vector<uint8_t> broken{0x01, 0x00, 0x00, 0x7E};
    reply = host.Ask(RequestBlock(0x04, 3, broken, static_cast<uint32_t>(broken.size())));
    ASSERT_TRUE(reply);
    frame = devlink::UnframeAndCheck(std::span<const uint8_t>(reply->data() + 9, At32(*reply, 1359)));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body, (std::vector<uint8_t>{0x13}));
}

TEST_F(LinkPeerTest, ModemStepsAnswerTheirOwnType)
{
    Connect();
    // The upgrade is confirmed only for a modem image that matches its checksum.
    const std::vector<uint8_t> image = Pattern(2000, 6);
    const std::vector<uint8_t> checksum = ChecksumText(routersim::Md5Hex(image));
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, checksum));
    uint32_t seq = 4;
    for (const uint8_t type : {0x97, 0x90, 0x96}) {
        const auto reply = host.Ask(RequestBlock(type, seq));
        ASSERT_TRUE(reply) << int(type);
        EXPECT_EQ((*reply)[0], type);
        EXPECT_EQ(At32(*reply, 5), seq);
        EXPECT_EQ(peer.BlocksSeen(type), 1);
        ++seq;
    }
    EXPECT_TRUE(state.FactoryMode());
}

TEST_F(LinkPeerTest, CloseFactoryEndsFactoryMode)
{
    Connect();
    const auto reply = host.Ask(RequestBlock(0x86, 9));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x86);
    EXPECT_EQ(At32(*reply, 5), 9u);
    EXPECT_FALSE(state.FactoryMode());
}

TEST_F(LinkPeerTest, RebootClosesWithoutAnAnswerAndLeavesFactoryMode)
{
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0x1F, 4)));
    std::vector<uint8_t> before;
    EXPECT_TRUE(host.WaitClosed(kPatience, &before));
    EXPECT_TRUE(before.empty());
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));

    // Out of factory mode, announcements go unanswered: once the link side
    // has counted it as ignored, no call comes for it.
    const int ignored = peer.Counters().ignoredAnnouncements;
    ASSERT_TRUE(host.Announce(peer.Port()));
    EXPECT_TRUE(testing_support::PollUntil([&] { return peer.Counters().ignoredAnnouncements == ignored + 1; }));
    EXPECT_FALSE(host.Accept(0ms));
}

TEST_F(LinkPeerTest, CloseEndsTheConnectionAndTheNextAnnouncementConnectsAgain)
{
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0xFF, 2)));
    std::vector<uint8_t> before;
    EXPECT_TRUE(host.WaitClosed(kPatience, &before));
    EXPECT_TRUE(before.empty());
    EXPECT_TRUE(state.FactoryMode());
    ASSERT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));

    Connect();
    const auto reply = host.Ask(RequestBlock(0x40, 1));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x40);
    EXPECT_EQ(peer.Counters().connections, 2);
}

TEST_F(LinkPeerTest, AHostThatHangsUpIsCalledAgainOnTheNextAnnouncement)
{
    Connect();
    host.Disconnect();
    ASSERT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
    Connect();
    EXPECT_TRUE(host.Ask(RequestBlock(0x40, 1)));
}

TEST_F(LinkPeerTest, UnknownTypesAreIgnored)
{
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0x33, 2)));
    // Blocks are served in order: the first answer to come is the one to
    // this request, so the unknown block before it went unanswered.
    const auto reply = host.Ask(RequestBlock(0x97, 3));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x97);
    EXPECT_EQ(At32(*reply, 5), 3u);
    EXPECT_EQ(peer.BlocksSeen(0x33), 1);
    EXPECT_EQ(peer.Counters().unknownBlocks, 1);
}

TEST_F(LinkPeerTest, BlocksInPiecesAreCollectedWhole)
{
    Connect();
    const Block request = RequestBlock(0x61, 7);
    for (size_t at = 0; at < request.size(); at += 100) {
        ASSERT_TRUE(host.Send(std::span<const uint8_t>(request.data() + at, std::min<size_t>(100, request.size() - at))));
    }
    // The first block to come answers the whole request, and nothing else came.
    const auto reply = host.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x61);
    EXPECT_EQ(At32(*reply, 5), 7u);
    EXPECT_TRUE(host.Quiet(0ms));
    EXPECT_EQ(peer.Counters().blocks, 1);
}

TEST_F(LinkPeerTest, WaitsForFactoryModeBeforeConnecting)
{
    state.SetFactoryMode(false);
    ASSERT_TRUE(host.Announce(peer.Port()));
    // Counted as ignored: no call comes for it.
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().ignoredAnnouncements == 1; }));
    EXPECT_FALSE(host.Accept(0ms));

    state.SetFactoryMode(true);
    Connect();
    EXPECT_TRUE(host.Ask(RequestBlock(0x40, 1)));
}

TEST_F(LinkPeerTest, IgnoresANonLoopbackAnnouncedAddress)
{
    // Connecting to 0.0.0.0 would reach this machine's own listener, so a
    // link side that did not check would be caught here without any
    // datagram or connection leaving loopback.
    ASSERT_TRUE(host.SendDatagram(peer.Port(), AnnouncementBlock(host.Port(), 0)));
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().ignoredAnnouncements == 1; }));
    EXPECT_FALSE(host.Accept(0ms));
    EXPECT_EQ(peer.Counters().connections, 0);

    Connect();
    EXPECT_EQ(peer.Counters().connections, 1);
}

TEST_F(LinkPeerTest, IgnoresDatagramsThatAreNoAnnouncement)
{
    const std::vector<uint8_t> shortOne(100, 0x6A);
    ASSERT_TRUE(host.SendDatagram(peer.Port(), shortOne));
    Block wrongType = AnnouncementBlock(host.Port());
    wrongType[0] = 0x6B;
    ASSERT_TRUE(host.SendDatagram(peer.Port(), wrongType));
    ASSERT_TRUE(host.SendDatagram(peer.Port(), AnnouncementBlock(0)));
    EXPECT_TRUE(testing_support::PollUntil([&] { return peer.Counters().ignoredAnnouncements == 3; }));
    EXPECT_FALSE(host.Accept(0ms));
    EXPECT_EQ(peer.Counters().connections, 0);
}

TEST_F(LinkPeerTest, AnnouncementsDuringAConnectionAreDropped)
{
    Connect();
    ASSERT_TRUE(host.Announce(peer.Port()));
    ASSERT_TRUE(host.Announce(peer.Port()));
    EXPECT_TRUE(host.Ask(RequestBlock(0x40, 1)));
    ASSERT_TRUE(host.Send(RequestBlock(0xFF, 2)));
    EXPECT_TRUE(host.WaitClosed());
    // The datagrams that came during the connection are dropped when it
    // ends, before the link side counts itself disconnected.
    ASSERT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
    EXPECT_EQ(peer.Counters().ignoredAnnouncements, 2);
    EXPECT_FALSE(host.Accept(0ms));
    EXPECT_EQ(peer.Counters().connections, 1);
}

TEST_F(LinkPeerTest, StopsPromptlyWithAConnectionOpen)
{
    Connect();
    const auto begin = std::chrono::steady_clock::now();
    peer.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s);
    EXPECT_TRUE(host.WaitClosed());
    EXPECT_FALSE(peer.Connected());
}

TEST_F(LinkPeerTest, StartsAgainAfterAStop)
{
    peer.Stop();
    ASSERT_TRUE(peer.Start(state, "127.0.0.1", 0));
    Connect();
    EXPECT_TRUE(host.Ask(RequestBlock(0x40, 1)));
}

TEST(LinkPeerStart, RefusesANonLoopbackAddress)
{
    routersim::RouterState state;
    routersim::LinkPeer peer;
    EXPECT_FALSE(peer.Start(state, "0.0.0.0", 0));
    EXPECT_TRUE(peer.Start(state, "127.0.0.1", 0));
    EXPECT_FALSE(peer.Start(state, "127.0.0.1", 0));
}
