#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <random>
#include <vector>

#include "link/diag_frame.h"
#include "link_fixture.h"

using namespace routersim_test;
using namespace std::chrono_literals;
using LinkFaultTest = LinkPeerFixture;

namespace {

Block EsnRequest(uint32_t seq)
{
    const std::vector<uint8_t> frame = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    return RequestBlock(0x04, seq, frame, static_cast<uint32_t>(frame.size()));
}

// The type of the block answered, or -1 when none came.
int AnswerType(HostStandIn& host, const Block& request)
{
    const auto reply = host.Ask(request);
    return reply ? (*reply)[0] : -1;
}

devlink::UnframeResult FrameOf(const Block& reply)
{
    return devlink::UnframeAndCheck(std::span<const uint8_t>(reply.data() + 9, std::min<uint32_t>(At32(reply, 1359), 1350)));
}

}  // namespace

TEST_F(LinkFaultTest, RefusedStepsAnswer0xFFWithTheirSeq)
{
    SetFaults([](routersim::LinkFaults& faults) {
        for (const uint8_t type : {0x97, 0x96, 0x90, 0x86}) faults.refused.set(type);
    });
    Connect();
    uint32_t seq = 2;
    for (const uint8_t type : {0x97, 0x96, 0x90, 0x86}) {
        const auto reply = host.Ask(RequestBlock(type, seq));
        ASSERT_TRUE(reply) << int(type);
        EXPECT_EQ((*reply)[0], 0xFF) << int(type);
        EXPECT_EQ(At32(*reply, 5), seq);
        ++seq;
    }
    // A refused close-factory leaves factory mode on; other types go on as usual.
    EXPECT_TRUE(state.FactoryMode());
    const auto reply = host.Ask(RequestBlock(0x61, seq));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x61);
}

TEST_F(LinkFaultTest, RefusedRebootKeepsTheConnection)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.refused.set(0x1F); });
    Connect();
    const auto reply = host.Ask(RequestBlock(0x1F, 2));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0xFF);
    EXPECT_TRUE(state.FactoryMode());
    EXPECT_TRUE(host.Ask(RequestBlock(0x97, 3)));
}

TEST_F(LinkFaultTest, SilentTypeIsNeverAnsweredNorCarriedOut)
{
    SetFaults([](routersim::LinkFaults& faults) {
        faults.silent.set(0x86);
        faults.silent.set(0x01);
    });
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0x86, 2)));

    // A silent transfer is still read, so that the blocks after it are understood.
    const std::vector<uint8_t> image(2000, 0x5A);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 3, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(image));

    // The link side serves the blocks in order: the first answer to come is
    // the one to this request, so nothing before it was answered, and both
    // blocks before it have been served.
    const auto reply = host.Ask(RequestBlock(0x97, 4));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x97);
    EXPECT_EQ(At32(*reply, 5), 4u);
    EXPECT_TRUE(state.FactoryMode());
    EXPECT_EQ(peer.BlocksSeen(0x86), 1);
    ASSERT_EQ(peer.FileCount(), 1u);
    EXPECT_TRUE(peer.Files()[0].complete);
}

TEST_F(LinkFaultTest, SilentAllAnswersNothingAndKeepsTheConnection)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.silentAll = true; });
    Connect();
    for (const uint8_t type : {0x40, 0x61, 0x97, 0x1F, 0xFF}) ASSERT_TRUE(host.Send(RequestBlock(type, 2)));
    ASSERT_TRUE(host.Send(EsnRequest(3)));
    // A block is counted after the faults it is served with were read: all
    // six are served silently.
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().blocks == 6; }));

    SetFaults([](routersim::LinkFaults& faults) { faults.silentAll = false; });
    // The first answer to come is the one to this request: none of the six
    // was answered, and the close and the reboot among them were not
    // carried out (the connection is still there).
    const auto reply = host.Ask(RequestBlock(0x40, 4));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x40);
    EXPECT_EQ(At32(*reply, 5), 4u);
    EXPECT_TRUE(state.FactoryMode());
}

TEST_F(LinkFaultTest, DelayHoldsEachAnswerBack)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.delay = 300ms; });
    Connect();
    const auto begin = std::chrono::steady_clock::now();
    const auto reply = host.Ask(RequestBlock(0x40, 1));
    const auto took = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x40);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 10s);
}

TEST_F(LinkFaultTest, DelayDoesNotHoldStopBack)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.delay = 60s; });
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0x40, 1)));
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.BlocksSeen(0x40) == 1; }));
    const auto begin = std::chrono::steady_clock::now();
    peer.Stop();
    // Far less than the 60 s delay.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s);
}

TEST_F(LinkFaultTest, DropAfterClosesTheConnectionAfterThatManyRawBytes)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.dropAfterBytes = 2700; });
    Connect();
    const std::vector<uint8_t> image(1350 * 4, 0x11);
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, static_cast<uint32_t>(image.size()))));
    // The host may or may not get all its bytes out before the close.
    static_cast<void>(host.Send(image));
    EXPECT_TRUE(host.WaitClosed());
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.FileCount() == 1; }));
    const auto files = peer.Files();
    EXPECT_FALSE(files[0].complete);
    EXPECT_EQ(files[0].bytes.size(), 2700u);
    EXPECT_EQ(peer.Counters().rawBytes, 2700u);
    EXPECT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
}

TEST_F(LinkFaultTest, DropClosesTheConnectionUnansweredAtThatRequest)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.dropped.set(0x99); });
    Connect();
    const auto answered = host.Ask(RequestBlock(0x97, 1));
    ASSERT_TRUE(answered);
    EXPECT_EQ((*answered)[0], 0x97);
    const std::vector<uint8_t> checksum(124, 0x33);
    ASSERT_TRUE(host.Send(StartBlock(0x99, 2, static_cast<uint32_t>(checksum.size()))));
    ASSERT_TRUE(host.Send(checksum));
    std::vector<uint8_t> before;
    EXPECT_TRUE(host.WaitClosed(kPatience, &before));
    EXPECT_TRUE(before.empty());
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.FileCount() == 1; }));
    EXPECT_TRUE(peer.Files()[0].complete);
    EXPECT_EQ(peer.BlocksSeen(0x99), 1);
    EXPECT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
}

TEST_F(LinkFaultTest, UnknownBlockComesBeforeEachAnswer)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.unknownFirst = true; });
    Connect();
    ASSERT_TRUE(host.Send(RequestBlock(0x97, 5)));
    const auto unknown = host.Receive();
    const auto reply = host.Receive();
    ASSERT_TRUE(unknown && reply);
    EXPECT_EQ((*unknown)[0], routersim::kUnknownBlockType);
    EXPECT_EQ(At32(*unknown, 5), 5u);
    EXPECT_EQ((*reply)[0], 0x97);
    EXPECT_EQ(At32(*reply, 5), 5u);

    // Requests without an answer get no unknown block either: the next
    // blocks to come are the unknown block and the answer of the request
    // after it.
    ASSERT_TRUE(host.Send(StartBlock(0x99, 6, 10)));
    ASSERT_TRUE(host.Send(std::vector<uint8_t>(10, 1)));
    ASSERT_TRUE(host.Send(RequestBlock(0x97, 7)));
    const auto nextUnknown = host.Receive();
    const auto nextReply = host.Receive();
    ASSERT_TRUE(nextUnknown && nextReply);
    EXPECT_EQ((*nextUnknown)[0], routersim::kUnknownBlockType);
    EXPECT_EQ(At32(*nextUnknown, 5), 7u);
    EXPECT_EQ((*nextReply)[0], 0x97);
    EXPECT_EQ(At32(*nextReply, 5), 7u);
}

TEST_F(LinkFaultTest, WrongSeqAnswersWithTheNextSeq)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.wrongSeq = true; });
    Connect();
    const auto reply = host.Ask(RequestBlock(0x61, 8));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x61);
    EXPECT_EQ(At32(*reply, 5), 9u);
}

TEST_F(LinkFaultTest, DiagBadFcsFailsTheCheck)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.diagBreak = routersim::DiagBreak::kBadFcs; });
    Connect();
    const auto reply = host.Ask(EsnRequest(2));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x04);
    const devlink::UnframeResult frame = FrameOf(*reply);
    EXPECT_FALSE(frame.ok);
    EXPECT_EQ(frame.error, u"the Received Data is Wrong with Wrong CRC Checksum");
}

TEST_F(LinkFaultTest, DiagWithoutEndFlagFailsTheCheck)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.diagBreak = routersim::DiagBreak::kNoEndFlag; });
    Connect();
    const auto reply = host.Ask(EsnRequest(2));
    ASSERT_TRUE(reply);
    const devlink::UnframeResult frame = FrameOf(*reply);
    EXPECT_FALSE(frame.ok);
    EXPECT_EQ(frame.error, u"the Received Data is Wrong without End Flag(0x7e)");
}

TEST_F(LinkFaultTest, RandomAnswersEveryRequestTheSameWayForTheSameSeed)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.randomSeed = 42; });
    Connect();
    std::vector<Block> first;
    for (const uint8_t type : {0x40, 0x61, 0x33}) {
        const auto reply = host.Ask(RequestBlock(type, 2));
        ASSERT_TRUE(reply);
        first.push_back(*reply);
    }
    EXPECT_NE(first[0], first[1]);
    EXPECT_NE(first[0], Block{});

    host.Disconnect();
    ASSERT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
    Connect();
    for (size_t i = 0; i < first.size(); ++i) {
        const auto reply = host.Ask(RequestBlock(0x97, 9));
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply, first[i]) << i;
    }
}

TEST_F(LinkFaultTest, RandomModeSurvivesRandomRequests)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.randomSeed = 7; });
    std::mt19937 junk(1234);
    int answered = 0;
    for (int round = 0; round < 20; ++round) {
        if (!host.HasConnection()) {
            ASSERT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
            Connect();
        }
        Block request{};
        for (uint8_t& byte : request) byte = static_cast<uint8_t>(junk());
        // Every fourth request is a transfer, a reboot or a close.
        if (round % 4 == 0) request[0] = std::array<uint8_t, 5>{0x01, 0x98, 0x99, 0x1F, 0xFF}[(round / 4) % 5];
        // Small transfers only, each followed by its raw bytes.
        request[1367] = static_cast<uint8_t>(junk() % 200);
        request[1368] = request[1369] = request[1370] = 0;
        ASSERT_TRUE(host.Send(request));
        if (request[0] == 0x01 || request[0] == 0x98 || request[0] == 0x99) {
            ASSERT_TRUE(host.Send(std::vector<uint8_t>(request[1367], 0xA5)));
        }
        if (host.Receive()) ++answered;
        if (request[0] == 0x1F || request[0] == 0xFF) {
            EXPECT_TRUE(host.WaitClosed());
            host.Disconnect();
            // A reboot still leaves factory mode; the next round needs it again.
            state.SetFactoryMode(true);
        }
    }
    EXPECT_EQ(answered, 20);
    EXPECT_EQ(peer.Counters().blocks, 20);
}

TEST_F(LinkFaultTest, FaultsChangeOnAnOpenConnection)
{
    Connect();
    EXPECT_EQ(AnswerType(host, RequestBlock(0x97, 2)), 0x97);
    SetFaults([](routersim::LinkFaults& faults) { faults.refused.set(0x97); });
    EXPECT_EQ(AnswerType(host, RequestBlock(0x97, 3)), 0xFF);
    peer.SetFaults({});
    EXPECT_EQ(AnswerType(host, RequestBlock(0x97, 4)), 0x97);
}
