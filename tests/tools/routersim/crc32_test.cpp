#include <gtest/gtest.h>

#include <string_view>

#include "routersim/crc32.h"

namespace {

uint32_t CrcOf(std::string_view text)
{
    return routersim::Crc32(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

TEST(Crc32, CheckValue)
{
    EXPECT_EQ(CrcOf("123456789"), 0xCBF43926u);
}

TEST(Crc32, KnownTexts)
{
    EXPECT_EQ(CrcOf(""), 0x00000000u);
    EXPECT_EQ(CrcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(CrcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}
