#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "firmware_images.h"
#include "link_fixture.h"
#include "routersim/md5.h"

using namespace routersim_test;
using LinkTransferTest = LinkPeerFixture;

TEST_F(LinkTransferTest, ModemImageAndChecksumAreKeptExactlyWithoutAnAnswer)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(1350 * 40 + 77, 1);
    const std::vector<uint8_t> checksum = ChecksumText(routersim::Md5Hex(image));
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, checksum));

    // The stream is back to blocks right after the last byte; the checksum
    // matches, so the upgrade is confirmed. The link side serves the stream
    // in order: this is the first answer to come, so the transfers went
    // unanswered, and both have been received.
    const auto reply = host.Ask(RequestBlock(0x90, 4));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x90);
    EXPECT_EQ(At32(*reply, 5), 4u);

    const auto files = peer.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].type, 0x98);
    EXPECT_EQ(files[0].seq, 2u);
    EXPECT_EQ(files[0].announcedSize, image.size());
    EXPECT_TRUE(files[0].complete);
    EXPECT_EQ(files[0].bytes, image);
    EXPECT_EQ(files[1].type, 0x99);
    EXPECT_TRUE(files[1].complete);
    EXPECT_EQ(files[1].bytes, checksum);
    EXPECT_EQ(peer.Counters().rawBytes, image.size() + checksum.size());
    EXPECT_EQ(peer.Counters().transfers, 2);
}

TEST_F(LinkTransferTest, LinuxImageIsAnsweredOnlyAfterItsLastByte)
{
    Connect();
    const std::vector<uint8_t> image = LegacyImage(Pattern(1350 * 6, 3), 1350 * 7 + 1);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 6, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(std::span<const uint8_t>(image.data(), image.size() - 1)));
    // All but the last byte taken: no answer, and no file yet.
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().rawBytes == image.size() - 1; }));
    EXPECT_TRUE(host.Quiet(0ms));
    EXPECT_EQ(peer.FileCount(), 0u);

    ASSERT_TRUE(host.Send(std::span<const uint8_t>(&image.back(), 1)));
    const auto reply = host.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x01);
    EXPECT_EQ(At32(*reply, 5), 6u);
    const auto files = peer.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].bytes, image);
}

TEST_F(LinkTransferTest, RefusedLinuxImageAnswers0xFFAfterAllBytes)
{
    SetFaults([](routersim::LinkFaults& faults) { faults.refused.set(0x01); });
    Connect();
    const std::vector<uint8_t> image = Pattern(5000, 4);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 3, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(std::span<const uint8_t>(image.data(), 4000)));
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().rawBytes == 4000; }));
    EXPECT_TRUE(host.Quiet(0ms));
    ASSERT_TRUE(host.Send(std::span<const uint8_t>(image.data() + 4000, 1000)));
    const auto reply = host.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0xFF);
    EXPECT_EQ(At32(*reply, 5), 3u);
    ASSERT_EQ(peer.FileCount(), 1u);
    EXPECT_EQ(peer.Files()[0].bytes, image);
}

TEST_F(LinkTransferTest, AnEmptyFileIsCompleteAtOnce)
{
    Connect();
    const auto reply = host.Ask(StartBlock(0x01, 2, 0));
    ASSERT_TRUE(reply);
    // Without even a header it is no image: the flash write is refused.
    EXPECT_EQ((*reply)[0], 0xFF);
    ASSERT_EQ(peer.FileCount(), 1u);
    EXPECT_TRUE(peer.Files()[0].complete);
}

TEST_F(LinkTransferTest, CompleteFilesAreWrittenToTheFilesFolder)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("routersim-link-files-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    peer.SetFilesFolder(folder.string());
    Connect();
    const std::vector<uint8_t> image = Pattern(4000, 5);
    const std::vector<uint8_t> linuxImage = Pattern(3000, 6);
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x01, 3, linuxImage));
    ASSERT_TRUE(host.Receive());

    EXPECT_EQ(ReadFile(folder / "1-modem-image.bin"), image);
    EXPECT_EQ(ReadFile(folder / "2-linux-image.bin"), linuxImage);
    std::filesystem::remove_all(folder);
}

TEST_F(LinkTransferTest, AHostThatHangsUpMidTransferLeavesAnIncompleteFile)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(3000, 7);
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, 10000)));
    ASSERT_TRUE(host.Send(image));
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Counters().rawBytes == image.size(); }));
    host.Disconnect();
    ASSERT_TRUE(testing_support::PollUntil([&] { return peer.FileCount() == 1; }));
    const auto files = peer.Files();
    EXPECT_FALSE(files[0].complete);
    EXPECT_EQ(files[0].bytes, image);
    EXPECT_TRUE(testing_support::PollUntil([&] { return !peer.Connected(); }));
}

TEST_F(LinkTransferTest, AStartBlockBeyondTheLimitClosesTheConnection)
{
    Connect();
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, routersim::kMaxFileBytes + 1)));
    EXPECT_TRUE(host.WaitClosed());
    EXPECT_EQ(peer.FileCount(), 0u);
}
