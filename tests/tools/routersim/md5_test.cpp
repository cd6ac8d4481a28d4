#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "firmware_images.h"
#include "routersim/md5.h"

namespace {

std::string HexOf(std::string_view text)
{
    return routersim::Md5Hex(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ(HexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(HexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(HexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(HexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"), "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(HexOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, DigestBytesAreTheHexDigitsInOrder)
{
    const std::vector<uint8_t> abc{'a', 'b', 'c'};
    const routersim::Md5Digest digest = routersim::Md5(abc);
    EXPECT_EQ(digest[0], 0x90);
    EXPECT_EQ(digest[1], 0x01);
    EXPECT_EQ(digest[15], 0x72);
}

// The generated modem image is megabytes long; its checksum file was
// written by another MD5 implementation.
TEST(Md5, MatchesTheSampleChecksumFile)
{
    const auto image = routersim_test::ReadFile(routersim_test::FirmwareFolder() / "fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz");
    const auto checksum = routersim_test::ReadFile(routersim_test::FirmwareFolder() / "fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum");
    ASSERT_GT(image.size(), 1000000u);
    ASSERT_GE(checksum.size(), 32u);
    EXPECT_EQ(routersim::Md5Hex(image), std::string(checksum.begin(), checksum.begin() + 32));
}
