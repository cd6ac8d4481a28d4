// The host's own rendezvous server and port against the link side: the
// server announces itself to the link side's UDP port on loopback, the
// link side connects back and the port's link commands run over it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "firmware_images.h"
#include "link/diag_frame.h"
#include "link/net_serial.h"
#include "link/sock_producer.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "routersim/link_peer.h"
#include "routersim/md5.h"
#include "routersim/router_state.h"
#include "../../host/support/poll_until.h"

namespace {

using testing_support::PollUntil;

// The link side (routersim) runs on real time and plain sockets of its own,
// which no clock of the host can hold: the host runs on the scaled clock,
// at a scale that leaves the link side, on a loaded machine, a second of
// real time for the shortest window whose answer a test needs (the 2000 ms
// of a query). Every window also lasts at least min(window, 200 ms) of real
// time, the reply floor; the 100 ms CMD_IP_MAC window lasts its 100 ms.
constexpr double kCommandScale = 2.0;
// For a test that waits out a command's whole 100 s window, and needs the
// wrong answers to come within it: 5 s.
constexpr double kWrongAnswerScale = 20.0;
// For a test whose answers may all come late or never: every window of a
// round (2 s, 2 s, 100 s, 10 s) lasts 1.6 s together at worst.
constexpr double kAnyAnswerScale = 100.0;

class LinkInterop : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Announcements every 2.5 s; the port's waits keep their proportions.
        platform::SetTimeScale(kCommandScale);
        state.SetFactoryMode(true);
        ASSERT_TRUE(peer.Start(state, "127.0.0.1", 0));
        std::filesystem::create_directories(logFolder);
        devlink::SockProducerSettings settings;
        settings.listenPort = 0;
        settings.announceHost = "127.0.0.1";
        settings.announcePort = peer.Port();
        settings.hostFilter = "127.0";
        settings.logFolder = platform::Utf8ToUtf16(logFolder.string());
        server = std::make_unique<devlink::CSockProducer>(settings);
        ASSERT_EQ(server->InitInstance(), 0);
        ASSERT_TRUE(PollUntil([&] { return server->AcceptedCount() == 1; }));
        port = std::make_unique<devlink::CNetSerial>(*server);
        ASSERT_EQ(port->InitPort(0), 1);
    }

    // The start block, then the file in raw writes of up to 1350 bytes, as the host sends files.
    bool SendFile(uint8_t type, const std::vector<uint8_t>& bytes)
    {
        if (port->PostMessage(devlink::StartBlock(type, static_cast<uint32_t>(bytes.size()))) == 0) return false;
        if (!PollUntil([&] { return port->SendDrained(); })) return false;
        for (size_t at = 0; at < bytes.size(); at += 1350) {
            const size_t count = std::min<size_t>(1350, bytes.size() - at);
            if (port->RawWrite(bytes.data() + at, count) != count) return false;
        }
        return true;
    }

    void TearDown() override
    {
        port.reset();
        server.reset();
        peer.Stop();
        platform::SetTimeScale(1.0);
        std::filesystem::remove_all(logFolder);
    }

    const std::filesystem::path logFolder =
        std::filesystem::temp_directory_path() / ("routersim-link-interop-" + std::to_string(getpid()));
    routersim::RouterState state;
    routersim::LinkPeer peer;
    std::unique_ptr<devlink::CSockProducer> server;
    std::unique_ptr<devlink::CNetSerial> port;
};

}  // namespace

TEST_F(LinkInterop, TheHostsCommandsSucceed)
{
    // No files are sent here, so the modem upgrade is confirmed only without the checks.
    peer.SetImageChecks(false);
    std::u16string version;
    ASSERT_TRUE(port->QueryInfo(version));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_TRUE(port->ModemState());
    EXPECT_TRUE(port->ToUserMode());
    EXPECT_TRUE(port->ModemUpgrade());
    EXPECT_TRUE(port->CloseFactory());
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_EQ(peer.BlocksSeen(0x40), 1);
    EXPECT_EQ(peer.BlocksSeen(0x61), 1);
}

TEST_F(LinkInterop, ARefusedStepFailsWithTheHostsText)
{
    routersim::LinkFaults faults;
    faults.refused.set(0x97);
    peer.SetFaults(faults);
    EXPECT_FALSE(port->ModemState());
    EXPECT_EQ(port->ErrorText(), u"KR710M can not switch to user mode.");
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(LinkInterop, TheEsnComesBackInACheckedFrame)
{
    peer.SetEsn(0xCAFE7E01);
    const std::vector<uint8_t> request = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    ASSERT_EQ(port->WriteData(request.data(), request.size()), request.size());
    ASSERT_TRUE(PollUntil([&] { return port->ReplyReady(); }));
    std::vector<uint8_t> reply(devlink::kDataCapacity);
    const size_t count = port->TakeData(reply.data(), reply.size());
    ASSERT_GT(count, 0u);
    const devlink::UnframeResult frame = devlink::UnframeAndCheck(std::span<const uint8_t>(reply.data(), count));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body, (std::vector<uint8_t>{0x01, 0x01, 0x7E, 0xFE, 0xCA}));
}

TEST_F(LinkInterop, ALinuxImageIsKeptAndItsResultReported)
{
    const std::vector<uint8_t> image = routersim_test::LegacyImage(routersim_test::Pattern(1350 * 90, 7), 1350 * 100 + 3);
    ASSERT_TRUE(SendFile(devlink::kLinuxImage, image));
    EXPECT_EQ(port->WaitForResult(), 0);
    const auto files = peer.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].complete);
    EXPECT_EQ(files[0].bytes, image);
}

TEST_F(LinkInterop, ACorruptLinuxImageIsReportedAsNotWritten)
{
    std::vector<uint8_t> image = routersim_test::LegacyImage(routersim_test::Pattern(1350 * 20, 8), 1350 * 30);
    image[routersim_test::kHeaderBytes + 100] ^= 0x01;
    ASSERT_TRUE(SendFile(devlink::kLinuxImage, image));
    EXPECT_EQ(port->WaitForResult(), -1);
    EXPECT_EQ(peer.FileCount(), 1u);
}

TEST_F(LinkInterop, AModemImageThatFailsItsChecksumIsNotUpgraded)
{
    const std::vector<uint8_t> image = routersim_test::Pattern(1350 * 10 + 5, 9);
    const std::vector<uint8_t> checksum = routersim_test::ChecksumText(routersim::Md5Hex(routersim_test::Pattern(10, 9)));
    ASSERT_TRUE(SendFile(devlink::kModemImage, image));
    ASSERT_TRUE(SendFile(devlink::kModemChecksum, checksum));
    EXPECT_FALSE(port->ModemUpgrade());
}

TEST_F(LinkInterop, AModemImageThatMatchesItsChecksumIsUpgraded)
{
    const std::vector<uint8_t> image = routersim_test::Pattern(1350 * 10 + 5, 9);
    ASSERT_TRUE(SendFile(devlink::kModemImage, image));
    ASSERT_TRUE(SendFile(devlink::kModemChecksum, routersim_test::ChecksumText(routersim::Md5Hex(image))));
    EXPECT_TRUE(port->ModemUpgrade());
}

TEST_F(LinkInterop, RebootEndsTheSessionAndFactoryMode)
{
    EXPECT_TRUE(port->Reboot());
    EXPECT_FALSE(port->IsOpen());
    EXPECT_TRUE(PollUntil([&] { return !state.FactoryMode() && !peer.Connected(); }));
}

namespace {

TEST_F(LinkInterop, TheFirstMessageAfterIpMacCarriesSeq2AndWrongSeqRepliesAreNeverTaken)
{
    EXPECT_EQ(port->SeqCounter(), 1u);
    routersim::LinkFaults faults;
    faults.wrongSeq = true;
    peer.SetFaults(faults);
    platform::SetTimeScale(kWrongAnswerScale);  // the command waits its whole 100 s (5 s) for the right reply
    EXPECT_FALSE(port->ModemState());
    EXPECT_EQ(port->SeqCounter(), 2u);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(server->QueueSize(0), 1u);
    devlink::LinkMessage stale;
    EXPECT_FALSE(server->TakeMessage(0, 2, stale));
    EXPECT_TRUE(server->TakeMessage(0, 3, stale));
}

TEST_F(LinkInterop, RandomBlocksLeaveTheHostRunningAndFailingWithinItsLimits)
{
    routersim::LinkFaults faults;
    faults.randomSeed = 1234;
    peer.SetFaults(faults);
    platform::SetTimeScale(kAnyAnswerScale);
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 5 && port->IsOpen(); ++round) {
        std::u16string version;
        port->QueryInfo(version);
        port->ModemState();
        port->CloseFactory();
    }
    // Every wait is bounded: five rounds last 8 s at worst.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_GE(server->SessionCount(), 0);
    EXPECT_LE(server->SessionCount(), 1);
}

TEST_F(LinkInterop, APeerThatGoesAwayFreesItsSlot)
{
    ASSERT_TRUE(PollUntil([&] { return server->SessionCount() == 1; }));
    peer.Stop();
    EXPECT_TRUE(PollUntil([&] { return !server->SlotBound(0) && server->SessionCount() == 0; }));
}

}  // namespace
