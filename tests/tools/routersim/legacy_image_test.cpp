#include <gtest/gtest.h>

#include "firmware_images.h"
#include "routersim/legacy_image.h"

using namespace routersim_test;
using routersim::CheckLegacyImage;

namespace {

// 3000 data bytes and 1000 bytes of padding.
std::vector<uint8_t> PaddedImage()
{
    return LegacyImage(Pattern(3000, 9), kHeaderBytes + 4000);
}

}  // namespace

TEST(LegacyImage, ASoundImageTellsWhatWasChecked)
{
    const auto verdict = CheckLegacyImage(PaddedImage());
    EXPECT_TRUE(verdict.passed) << verdict.text;
    EXPECT_NE(verdict.text.find("magic 0x27051956"), std::string::npos) << verdict.text;
    EXPECT_NE(verdict.text.find("over 3000 data bytes"), std::string::npos) << verdict.text;
    EXPECT_NE(verdict.text.find("1000 bytes of padding"), std::string::npos) << verdict.text;
}

TEST(LegacyImage, AFlippedDataByteFailsTheDataCrc)
{
    for (const size_t at : {kHeaderBytes, kHeaderBytes + 1500, kHeaderBytes + 2999}) {
        auto image = PaddedImage();
        image[at] ^= 0x01;
        const auto verdict = CheckLegacyImage(image);
        EXPECT_FALSE(verdict.passed) << at;
        EXPECT_EQ(verdict.text.rfind("data CRC ", 0), 0u) << verdict.text;
    }
}

TEST(LegacyImage, PaddingAfterTheDataIsNotChecked)
{
    for (const size_t at : {kHeaderBytes + 3000, kHeaderBytes + 3999}) {
        auto image = PaddedImage();
        image[at] ^= 0xFF;
        EXPECT_TRUE(CheckLegacyImage(image).passed) << at;
    }
}

TEST(LegacyImage, AFlippedHeaderByteFailsTheHeaderCrc)
{
    for (const size_t at : {size_t{8}, size_t{16}, size_t{40}, kHeaderBytes - 1}) {
        auto image = PaddedImage();
        image[at] ^= 0x80;
        const auto verdict = CheckLegacyImage(image);
        EXPECT_FALSE(verdict.passed) << at;
        EXPECT_EQ(verdict.text.rfind("header CRC ", 0), 0u) << verdict.text;
    }
    auto image = PaddedImage();
    image[kHeaderCrcAt + 3] ^= 0x01;
    EXPECT_FALSE(CheckLegacyImage(image).passed);
}

TEST(LegacyImage, WrongMagic)
{
    auto image = PaddedImage();
    image[0] = 0x28;
    const auto verdict = CheckLegacyImage(image);
    EXPECT_FALSE(verdict.passed);
    EXPECT_EQ(verdict.text, "magic 0x28051956 is not 0x27051956");
}

TEST(LegacyImage, TooShortForTheHeaderOrTheData)
{
    const auto image = PaddedImage();
    EXPECT_FALSE(CheckLegacyImage({}).passed);
    const auto header = CheckLegacyImage(std::span<const uint8_t>(image).first(kHeaderBytes - 1));
    EXPECT_EQ(header.text, "63 bytes are fewer than the 64-byte header");
    const auto cut = CheckLegacyImage(std::span<const uint8_t>(image).first(kHeaderBytes + 2999));
    EXPECT_FALSE(cut.passed);
    EXPECT_EQ(cut.text, "data size 3000 is more than the 2999 bytes after the header");
}

TEST(LegacyImage, AnImageWithoutDataOrPadding)
{
    EXPECT_TRUE(CheckLegacyImage(LegacyImage({})).passed);
}

// Made by mkimage: the checks agree with the tool that writes these images.
TEST(LegacyImage, TheSampleImagesPass)
{
    for (const char* name : {"root_uImage", "uboot.img"}) {
        const auto verdict = CheckLegacyImage(ReadFile(FirmwareFolder() / name));
        EXPECT_TRUE(verdict.passed) << name << ": " << verdict.text;
    }
}
