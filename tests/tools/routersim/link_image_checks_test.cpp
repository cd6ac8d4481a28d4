// The router's checks over the link: the modem upgrade is confirmed only
// for a modem image that matches its checksum file, the Linux image's flash
// write only for an image whose U-Boot header and data CRCs hold. What was
// decided is logged on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_images.h"
#include "link_fixture.h"
#include "routersim/md5.h"

using namespace routersim_test;
using LinkImageCheckTest = LinkPeerFixture;

namespace {

// The type of the block that answers the Linux image, or -1.
int LinuxImageAnswer(HostStandIn& host, const std::vector<uint8_t>& image)
{
    if (!host.SendTransfer(0x01, 5, image)) return -1;
    const auto reply = host.Receive(10s);
    return reply ? (*reply)[0] : -1;
}

// 20000 data bytes padded to 30000.
std::vector<uint8_t> PaddedLinuxImage()
{
    return LegacyImage(Pattern(20000, 8), 30000);
}

}  // namespace

TEST_F(LinkImageCheckTest, AModemImageThatMatchesItsChecksumIsUpgraded)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(1350 * 30 + 11, 1);
    const std::string digest = routersim::Md5Hex(image);
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, ChecksumText(digest)));
    testing::internal::CaptureStderr();
    const auto reply = host.Ask(RequestBlock(0x90, 4));
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x90);
    EXPECT_EQ(At32(*reply, 5), 4u);
    EXPECT_NE(log.find("modem image MD5 ok " + digest + "\n"), std::string::npos) << log;
}

TEST_F(LinkImageCheckTest, AChecksumWithAnotherDigestRefusesTheUpgrade)
{
    Connect();
    const std::vector<uint8_t> image = Pattern(5000, 2);
    const std::string digest = routersim::Md5Hex(image);
    const std::string other = routersim::Md5Hex(Pattern(5000, 3));
    ASSERT_NE(digest, other);
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, ChecksumText(other)));
    testing::internal::CaptureStderr();
    const auto reply = host.Ask(RequestBlock(0x90, 4));
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0xFF);
    EXPECT_EQ(At32(*reply, 5), 4u);
    EXPECT_NE(log.find("modem image MD5 mismatch: got " + digest + ", expected " + other + "\n"), std::string::npos) << log;
    // The connection goes on.
    const auto next = host.Ask(RequestBlock(0x96, 5));
    ASSERT_TRUE(next);
    EXPECT_EQ((*next)[0], 0x96);
}

TEST_F(LinkImageCheckTest, AnUpgradeWithoutTheFilesIsRefused)
{
    Connect();
    testing::internal::CaptureStderr();
    const auto reply = host.Ask(RequestBlock(0x90, 2));
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0xFF);
    EXPECT_NE(log.find("modem image MD5 mismatch: got no modem image, expected no checksum file"), std::string::npos) << log;

    ASSERT_TRUE(host.SendTransfer(0x98, 3, Pattern(100, 4)));
    const auto withoutChecksum = host.Ask(RequestBlock(0x90, 4));
    ASSERT_TRUE(withoutChecksum);
    EXPECT_EQ((*withoutChecksum)[0], 0xFF);
}

TEST_F(LinkImageCheckTest, ALinuxImageWhoseCrcsHoldIsConfirmed)
{
    Connect();
    testing::internal::CaptureStderr();
    const int answer = LinuxImageAnswer(host, PaddedLinuxImage());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0x01);
    EXPECT_NE(log.find("linux image header CRC ok, data CRC ok\n"), std::string::npos) << log;
}

TEST_F(LinkImageCheckTest, AFlippedDataByteIsNotConfirmed)
{
    Connect();
    std::vector<uint8_t> image = PaddedLinuxImage();
    image[kHeaderBytes + 19999] ^= 0x10;  // the last data byte
    testing::internal::CaptureStderr();
    const int answer = LinuxImageAnswer(host, image);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0xFF);
    EXPECT_NE(log.find("linux image CRC error: data CRC 0x"), std::string::npos) << log;
    ASSERT_EQ(peer.FileCount(), 1u);
    EXPECT_EQ(peer.Files()[0].bytes, image);
}

TEST_F(LinkImageCheckTest, AFlippedPaddingByteIsConfirmed)
{
    Connect();
    std::vector<uint8_t> image = PaddedLinuxImage();
    image[kHeaderBytes + 20000] ^= 0x10;  // the first byte after the data
    EXPECT_EQ(LinuxImageAnswer(host, image), 0x01);
    image.back() = 0x00;
    EXPECT_EQ(LinuxImageAnswer(host, image), 0x01);
}

TEST_F(LinkImageCheckTest, ABadHeaderCrcIsNotConfirmed)
{
    Connect();
    std::vector<uint8_t> image = PaddedLinuxImage();
    image[kHeaderCrcAt] ^= 0x01;
    testing::internal::CaptureStderr();
    const int answer = LinuxImageAnswer(host, image);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0xFF);
    EXPECT_NE(log.find("linux image CRC error: header CRC 0x"), std::string::npos) << log;
}

TEST_F(LinkImageCheckTest, WithChecksOffEveryImageIsConfirmed)
{
    peer.SetImageChecks(false);
    Connect();
    std::vector<uint8_t> image = PaddedLinuxImage();
    image[kHeaderBytes] ^= 0x01;
    EXPECT_EQ(LinuxImageAnswer(host, image), 0x01);
    const auto reply = host.Ask(RequestBlock(0x90, 6));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0x90);
}

TEST_F(LinkImageCheckTest, VerboseLogTellsWhatWasFoundInEachFile)
{
    peer.SetVerbose(true);
    Connect();
    const std::vector<uint8_t> image = Pattern(3000, 5);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(host.SendTransfer(0x98, 2, image));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, ChecksumText("0123456789abcdef0123456789abcdef")));
    const int answer = LinuxImageAnswer(host, PaddedLinuxImage());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0x01);
    EXPECT_NE(log.find("received modem image of 3000 bytes, MD5 " + routersim::Md5Hex(image)), std::string::npos) << log;
    EXPECT_NE(log.find("received modem checksum file of "), std::string::npos) << log;
    EXPECT_NE(log.find("bytes, digest 0123456789abcdef0123456789abcdef"), std::string::npos) << log;
    EXPECT_NE(log.find("received linux image of 30000 bytes: magic 0x27051956"), std::string::npos) << log;
    EXPECT_NE(log.find("over 20000 data bytes, 9936 bytes of padding after them"), std::string::npos) << log;
}

// The generated firmware set, sent as the host sends it, in the host's order.
TEST_F(LinkImageCheckTest, TheSampleFirmwareSetIsAccepted)
{
    Connect();
    const std::filesystem::path folder = FirmwareFolder();
    ASSERT_TRUE(host.SendTransfer(0x98, 2, ReadFile(folder / "fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz")));
    ASSERT_TRUE(host.SendTransfer(0x99, 3, ReadFile(folder / "fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum")));
    const auto upgrade = host.Ask(RequestBlock(0x90, 4), 30s);
    ASSERT_TRUE(upgrade);
    EXPECT_EQ((*upgrade)[0], 0x90);
    const auto userMode = host.Ask(RequestBlock(0x96, 5));
    ASSERT_TRUE(userMode);
    EXPECT_EQ((*userMode)[0], 0x96);
    ASSERT_TRUE(host.SendTransfer(0x01, 6, ReadFile(folder / "root_uImage")));
    const auto written = host.Receive(30s);
    ASSERT_TRUE(written);
    EXPECT_EQ((*written)[0], 0x01);
    EXPECT_EQ(At32(*written, 5), 6u);
}
