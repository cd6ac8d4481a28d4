#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "link_fixture.h"

using namespace routersim_test;
using LinkTransferTest = LinkPeerFixture;

namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t salt)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + i / 251 + salt) & 0xFF);
    return bytes;
}

// Sends the bytes in pieces of up to 1350, as the host does.
bool SendInPieces(HostStandIn& host, const std::vector<uint8_t>& bytes)
{
    for (size_t at = 0; at < bytes.size(); at += 1350) {
        if (!host.Send(std::span<const uint8_t>(bytes.data() + at, std::min<size_t>(1350, bytes.size() - at)))) return false;
    }
    return true;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(LinkTransferTest, ModemImageAndChecksumAreKeptExactlyWithoutAnAnswer)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(1350 * 40 + 77, 1);
    const std::vector<uint8_t> checksum = Pattern(33, 2);
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(SendInPieces(host, image));
    ASSERT_TRUE(host.Send(StartBlock(0x99, 3, static_cast<uint32_t>(checksum.size()))));
    ASSERT_TRUE(SendInPieces(host, checksum));
    EXPECT_TRUE(host.Quiet());

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

    // The stream is back to blocks right after the last byte.
    const auto reply = host.Ask(RequestBlock(0x90, 4));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x90);
}

TEST_F(LinkTransferTest, LinuxImageIsAnsweredOnlyAfterItsLastByte)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(1350 * 7 + 1, 3);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 6, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(std::span<const uint8_t>(image.data(), image.size() - 1)));
    EXPECT_TRUE(host.Quiet());
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
    EXPECT_TRUE(host.Quiet(200ms));
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
    EXPECT_EQ((*reply)[0], 0x01);
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
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(SendInPieces(host, image));
    ASSERT_TRUE(host.Send(StartBlock(0x01, 3, static_cast<uint32_t>(linuxImage.size()))));
    ASSERT_TRUE(SendInPieces(host, linuxImage));
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
    ASSERT_TRUE(Eventually([&] { return peer.Counters().rawBytes == image.size(); }));
    host.Disconnect();
    ASSERT_TRUE(Eventually([&] { return peer.FileCount() == 1; }));
    const auto files = peer.Files();
    EXPECT_FALSE(files[0].complete);
    EXPECT_EQ(files[0].bytes, image);
    EXPECT_TRUE(Eventually([&] { return !peer.Connected(); }));
}

TEST_F(LinkTransferTest, AStartBlockBeyondTheLimitClosesTheConnection)
{
    Connect();
    ASSERT_TRUE(host.Send(StartBlock(0x98, 2, routersim::kMaxFileBytes + 1)));
    EXPECT_TRUE(host.WaitClosed());
    EXPECT_EQ(peer.FileCount(), 0u);
}
