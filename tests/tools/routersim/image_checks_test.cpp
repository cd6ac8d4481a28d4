#include <gtest/gtest.h>

#include <cctype>

#include "firmware_images.h"
#include "routersim/image_checks.h"
#include "routersim/md5.h"

using namespace routersim_test;
using routersim::ImageChecks;
using routersim::ReceivedFile;

namespace {

ReceivedFile File(uint8_t type, std::vector<uint8_t> bytes)
{
    return ReceivedFile{type, 2, static_cast<uint32_t>(bytes.size()), std::move(bytes), true};
}

std::vector<uint8_t> Text(std::string_view text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

class ModemChecks : public ::testing::Test {
protected:
    const std::vector<uint8_t> image = Pattern(70000, 3);
    const std::string digest = routersim::Md5Hex(image);
    ImageChecks checks;
};

}  // namespace

TEST_F(ModemChecks, MatchingDigestPasses)
{
    EXPECT_EQ(checks.Take(File(0x98, image)), "modem image of 70000 bytes, MD5 " + digest);
    const std::vector<uint8_t> checksum = ChecksumText(digest);
    EXPECT_EQ(checks.Take(File(0x99, checksum)), "modem checksum file of " + std::to_string(checksum.size()) + " bytes, digest " + digest);
    const auto verdict = checks.ModemImage();
    EXPECT_TRUE(verdict.passed);
    EXPECT_EQ(verdict.text, "modem image MD5 ok " + digest);
}

TEST_F(ModemChecks, TheOrderOfTheTwoFilesDoesNotMatter)
{
    checks.Take(File(0x99, ChecksumText(digest)));
    checks.Take(File(0x98, image));
    EXPECT_TRUE(checks.ModemImage().passed);
}

TEST_F(ModemChecks, ADifferentDigestIsAMismatch)
{
    std::string other = digest;
    other[31] = other[31] == '0' ? '1' : '0';
    checks.Take(File(0x98, image));
    checks.Take(File(0x99, ChecksumText(other)));
    const auto verdict = checks.ModemImage();
    EXPECT_FALSE(verdict.passed);
    EXPECT_EQ(verdict.text, "modem image MD5 mismatch: got " + digest + ", expected " + other);
}

TEST_F(ModemChecks, ALaterImageReplacesTheEarlierOne)
{
    checks.Take(File(0x98, Pattern(100, 1)));
    checks.Take(File(0x99, ChecksumText(digest)));
    EXPECT_FALSE(checks.ModemImage().passed);
    checks.Take(File(0x98, image));
    EXPECT_TRUE(checks.ModemImage().passed);
}

TEST_F(ModemChecks, MissingFilesFail)
{
    EXPECT_EQ(checks.ModemImage().text, "modem image MD5 mismatch: got no modem image, expected no checksum file");
    checks.Take(File(0x98, image));
    EXPECT_EQ(checks.ModemImage().text, "modem image MD5 mismatch: got " + digest + ", expected no checksum file");
    EXPECT_FALSE(checks.ModemImage().passed);
}

TEST_F(ModemChecks, OnlyThirtyTwoLowerCaseHexDigitsAtTheStartCount)
{
    checks.Take(File(0x98, image));
    std::string upper = digest;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& text : {upper + "  path\n", " " + digest + "\n", digest + "0  path\n", digest.substr(0, 31), std::string()}) {
        const std::string found = "modem checksum file of " + std::to_string(text.size()) + " bytes, no digest at its start";
        EXPECT_EQ(checks.Take(File(0x99, Text(text))), found) << text;
        EXPECT_EQ(checks.ModemImage().text, "modem image MD5 mismatch: got " + digest + ", expected no digest in the checksum file");
    }
    for (const std::string& text : {digest, digest + "\n", digest + "\r\n", digest + " *name"}) {
        checks.Take(File(0x99, Text(text)));
        EXPECT_TRUE(checks.ModemImage().passed) << text;
    }
}

TEST(LinuxChecks, VerdictsOfTheLastLinuxImage)
{
    ImageChecks checks;
    EXPECT_EQ(checks.LinuxImage().text, "linux image CRC error: no Linux image received");
    auto image = LegacyImage(Pattern(500, 4), 1000);
    EXPECT_EQ(checks.Take(File(0x01, image)).rfind("linux image of 1000 bytes: magic 0x27051956, header CRC 0x", 0), 0u);
    EXPECT_TRUE(checks.LinuxImage().passed);
    EXPECT_EQ(checks.LinuxImage().text, "linux image header CRC ok, data CRC ok");
    image[kHeaderBytes + 10] ^= 0x04;
    checks.Take(File(0x01, image));
    EXPECT_FALSE(checks.LinuxImage().passed);
    EXPECT_EQ(checks.LinuxImage().text.rfind("linux image CRC error: data CRC 0x", 0), 0u) << checks.LinuxImage().text;
}
