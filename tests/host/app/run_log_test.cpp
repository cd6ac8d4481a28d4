#include <gtest/gtest.h>

#include "app/run_log.h"

namespace {

TEST(RunLog, TimePrefixAndFileStampAreZeroFilled)
{
    EXPECT_EQ(app::LogTimePrefix(platform::LocalTime{2015, 3, 2, 9, 5, 3}), u"09:05:03:");
    EXPECT_EQ(app::LogTimePrefix(platform::LocalTime{2015, 3, 2, 23, 59, 58}), u"23:59:58:");
    EXPECT_EQ(app::LogFileStamp(platform::LocalTime{2015, 3, 2, 14, 7, 0}), u"201503021407");
}

TEST(RunLog, LengthTakesOneThreeOrSevenBytes)
{
    const std::vector<uint8_t> shortText = app::SerializeLogText(u"ab");
    EXPECT_EQ(shortText, (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b', 0}));

    const std::vector<uint8_t> at254 = app::SerializeLogText(std::u16string(254, u'x'));
    EXPECT_EQ(at254[3], 254);
    EXPECT_EQ(at254.size(), 4u + 508u);

    const std::vector<uint8_t> text300 = app::SerializeLogText(std::u16string(300, u'\u00e7'));
    ASSERT_EQ(text300.size(), 6u + 600u);
    EXPECT_EQ(std::vector<uint8_t>(text300.begin(), text300.begin() + 8), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01, 0xE7, 0x00}));

    const std::vector<uint8_t> huge = app::SerializeLogText(std::u16string(0x10000, u'y'));
    ASSERT_EQ(huge.size(), 10u + 0x20000u);
    EXPECT_EQ(std::vector<uint8_t>(huge.begin(), huge.begin() + 10),
              (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}));
}

TEST(RunLog, LengthFFFDStillFitsSixteenBits)
{
    const std::vector<uint8_t> edge = app::SerializeLogText(std::u16string(0xFFFD, u'z'));
    EXPECT_EQ(std::vector<uint8_t>(edge.begin(), edge.begin() + 6), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}));
}

}  // namespace
